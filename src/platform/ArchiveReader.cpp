#include "platform/ArchiveReader.h"

#include "platform/FileOps.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tw {

// The callbacks through which libarchive reads the archive file: only ever through the
// File the reader owns, so no name is opened twice.
struct ArchiveIo {
    static la_ssize_t read(struct archive* a, void* self, const void** buffer)
    {
        auto* r = static_cast<ArchiveReader*>(self);
        const int64_t got = r->m_file->read(r->m_block.get(), ArchiveReader::kBlockSize);
        if (got < 0) {
            archive_set_error(a, EIO, "read error");
            return -1;
        }
        r->m_position += got;
        *buffer = r->m_block.get();
        return static_cast<la_ssize_t>(got);
    }
    static la_int64_t seek(struct archive*, void* self, la_int64_t offset, int whence)
    {
        auto* r = static_cast<ArchiveReader*>(self);
        int64_t target = offset;
        if (whence == SEEK_CUR)
            target = r->m_position + offset;
        else if (whence == SEEK_END)
            target = r->m_fileSize + offset;
        if (target < 0 || !r->m_file->seek(target))
            return ARCHIVE_FATAL;
        r->m_position = target;
        return target;
    }
    static la_int64_t skip(struct archive*, void* self, la_int64_t request)
    {
        // Skipping past the end leaves the position at the end; the next read reports it.
        auto* r = static_cast<ArchiveReader*>(self);
        if (request <= 0)
            return 0;
        const int64_t target = std::min<int64_t>(r->m_position + request, r->m_fileSize);
        if (target <= r->m_position || !r->m_file->seek(target))
            return 0;
        const int64_t skipped = target - r->m_position;
        r->m_position = target;
        return skipped;
    }
};

ArchiveReader::ArchiveReader(std::unique_ptr<File> file)
    : m_file(std::move(file)), m_block(new unsigned char[kBlockSize])
{
}

ArchiveReader::~ArchiveReader()
{
    if (m_archive)
        archive_read_free(m_archive);
}

std::unique_ptr<ArchiveReader> ArchiveReader::open(std::unique_ptr<File> file, std::string* error)
{
    if (!file) {
        *error = "cannot open";
        return nullptr;
    }
    FileStatus st;
    if (!file->status(&st) || !st.isRegular) {
        *error = "not a regular file";
        return nullptr;
    }
    std::unique_ptr<ArchiveReader> r(new ArchiveReader(std::move(file)));
    r->m_fileSize = st.size;
    r->m_archive = archive_read_new();
    if (!r->m_archive) {
        *error = "out of memory";
        return nullptr;
    }
    archive* a = r->m_archive;
    // A file that starts as a zip archive does is read by the zip reader alone: asking
    // every format and filter whether it knows the file costs more than reading a small
    // archive. Anything else (a self-extracting zip among them) is offered to all.
    unsigned char head[4] = {};
    const int64_t got = r->m_file->read(head, sizeof head);
    if (got < 0 || !r->m_file->seek(0)) {
        *error = "read error";
        return nullptr;
    }
    if (got == 4 && head[0] == 'P' && head[1] == 'K' &&
        ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6))) {
        archive_read_support_format_zip(a);
    } else {
        archive_read_support_filter_all(a);
        archive_read_support_format_all(a);
    }
    archive_read_set_callback_data(a, r.get());
    archive_read_set_read_callback(a, &ArchiveIo::read);
    archive_read_set_skip_callback(a, &ArchiveIo::skip);
    // With a seek callback, zip archives are read from their central directory, as the
    // archive tool that wrote them meant them to be read.
    archive_read_set_seek_callback(a, &ArchiveIo::seek);
    if (archive_read_open1(a) != ARCHIVE_OK) {
        r->takeError();
        *error = r->m_error;
        return nullptr;
    }
    return r;
}

void ArchiveReader::takeError()
{
    const char* text = archive_error_string(m_archive);
    m_error = text ? text : "unreadable archive";
}

ArchiveReader::Step ArchiveReader::next(ArchiveMember* out)
{
    if (m_fatal)
        return Step::Error;
    archive_entry* e = nullptr;
    int rc = ARCHIVE_RETRY;
    for (int tries = 0; rc == ARCHIVE_RETRY && tries < 4; ++tries)
        rc = archive_read_next_header(m_archive, &e);
    if (rc == ARCHIVE_EOF)
        return Step::End;
    // A warning (a name that does not convert to the locale, an odd header field) still
    // leaves a member that can be read.
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
        takeError();
        m_fatal = true;
        return Step::Error;
    }
    *out = ArchiveMember{};
    const char* name = archive_entry_pathname(e);
    if (!name)
        name = archive_entry_pathname_utf8(e);
    out->name = name ? name : "?";
    out->sizeKnown = archive_entry_size_is_set(e) != 0;
    out->size = out->sizeKnown ? archive_entry_size(e) : 0;
    if (archive_entry_mtime_is_set(e))
        out->lastWrite = toFileTime(archive_entry_mtime(e), archive_entry_mtime_nsec(e));
    const auto type = archive_entry_filetype(e);
    out->isDirectory = type == AE_IFDIR;
    out->isLink = type == AE_IFLNK || archive_entry_hardlink(e) != nullptr;
    out->isRegular = type == AE_IFREG && !out->isLink;
    out->encrypted = archive_entry_is_encrypted(e) != 0;
    out->index = m_index++;
    m_data = nullptr;
    m_dataLeft = 0;
    m_dataOffset = 0;
    m_outOffset = 0;
    m_dataEnded = false;
    return Step::Member;
}

bool ArchiveReader::fetchBlock()
{
    if (m_dataLeft > 0 || m_dataEnded || m_outOffset < m_dataOffset)
        return true;
    // Blocks come with their offset in the member: a sparse member's holes are the gaps
    // between them (and between the last one and the end), which cost nothing to skip.
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int rc = archive_read_data_block(m_archive, &block, &size, &offset);
    if (rc == ARCHIVE_EOF) {
        m_dataEnded = true;
        m_dataOffset = std::max<int64_t>(offset, m_outOffset);
        return true;
    }
    if (rc != ARCHIVE_OK) {
        takeError();
        m_fatal = rc == ARCHIVE_FATAL;
        return false;
    }
    if (offset < m_outOffset) {
        m_error = "overlapping sparse blocks";
        return false;
    }
    m_data = static_cast<const unsigned char*>(block);
    m_dataLeft = size;
    m_dataOffset = offset;
    return true;
}

int64_t ArchiveReader::holeAhead()
{
    if (m_fatal || !fetchBlock())
        return 0;
    return m_dataOffset - m_outOffset;
}

void ArchiveReader::skipHole(int64_t count)
{
    m_outOffset += std::clamp<int64_t>(count, 0, std::max<int64_t>(m_dataOffset - m_outOffset, 0));
}

int64_t ArchiveReader::read(void* buffer, size_t count)
{
    if (m_fatal)
        return -1;
    size_t have = 0;
    auto* dst = static_cast<unsigned char*>(buffer);
    while (have < count) {
        if (!fetchBlock())
            return -1;
        if (m_outOffset < m_dataOffset) {
            // A hole: zeros up to the next stored byte (or the member's end).
            const size_t n = static_cast<size_t>(std::min<int64_t>(m_dataOffset - m_outOffset, count - have));
            std::memset(dst + have, 0, n);
            have += n;
            m_outOffset += static_cast<int64_t>(n);
            continue;
        }
        if (m_dataLeft == 0) {
            if (m_dataEnded)
                break;
            continue; // an empty block (the decoder took input and gave nothing yet)
        }
        const size_t n = std::min(m_dataLeft, count - have);
        std::memcpy(dst + have, m_data, n);
        m_data += n;
        m_dataLeft -= n;
        have += n;
        m_outOffset += static_cast<int64_t>(n);
        m_dataOffset = m_outOffset;
    }
    return static_cast<int64_t>(have);
}

double ArchiveReader::fractionRead() const
{
    if (m_fileSize <= 0)
        return 1.0;
    const la_int64_t consumed = archive_filter_bytes(m_archive, -1);
    const double f = static_cast<double>(consumed) / static_cast<double>(m_fileSize);
    return f < 0 ? 0 : f > 1 ? 1 : f;
}

} // namespace tw
