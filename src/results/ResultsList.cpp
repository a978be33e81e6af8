#include "results/ResultsList.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

// A held-back record: a fixed header followed by the text, the path and the archive path.
// The header holds three u32 lengths (text, path, archive path; little-endian) and then the
// line's ResultFields as they are in memory: the store is a temporary file that only this
// process reads back.
constexpr size_t kRecordLengths = 4 + 4 + 4;
constexpr size_t kRecordHeader = kRecordLengths + sizeof(ResultFields);

template <typename T> char* put(char* out, T value, int bytes)
{
    const auto u = static_cast<uint64_t>(value);
    for (int i = 0; i < bytes; ++i)
        *out++ = static_cast<char>(u >> (8 * i));
    return out;
}

uint64_t get(const char* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    return v;
}

// A path length of kSamePath stands for the path of the file whose lines are held back,
// so that a file with many hit lines does not store its path with each one.
constexpr uint32_t kSamePath = 0xFFFFFFFFu;

void appendRecord(std::string& out, const ResultEntry& e, bool samePath)
{
    char header[kRecordHeader];
    char* h = header;
    h = put(h, e.text.size(), 4);
    h = put(h, samePath ? kSamePath : e.path.size(), 4);
    h = put(h, e.archivePath.size(), 4);
    std::memcpy(h, &e.fields(), sizeof(ResultFields));
    out.append(header, kRecordHeader);
    out += e.text;
    if (!samePath)
        out += e.path;
    out += e.archivePath;
}

// Bytes of the record whose header starts at `p` (kRecordHeader bytes must be there).
size_t recordSize(const char* p)
{
    const uint64_t pathLen = get(p + 4, 4);
    return kRecordHeader + get(p, 4) + (pathLen == kSamePath ? 0 : pathLen) + get(p + 8, 4);
}

// The record at `p` (recordSize(p) bytes must be there).
ResultEntry readRecord(const char* p, const std::string& heldBackPath)
{
    ResultEntry e;
    const size_t textLen = get(p, 4), archiveLen = get(p + 8, 4);
    const bool samePath = get(p + 4, 4) == kSamePath;
    const size_t pathLen = samePath ? 0 : get(p + 4, 4);
    std::memcpy(&e.fields(), p + kRecordLengths, sizeof(ResultFields));
    const char* data = p + kRecordHeader;
    e.text.assign(data, textLen);
    if (samePath)
        e.path = heldBackPath;
    else
        e.path.assign(data + textLen, pathLen);
    e.archivePath.assign(data + textLen + pathLen, archiveLen);
    return e;
}

} // namespace

ResultsList::~ResultsList() { endHoldBack(); }

void ResultsList::setPendingFile(const std::string& path, const std::string& archivePath)
{
    m_pending = true;
    m_pendingPath = path;
    m_pendingArchive = archivePath;
}

void ResultsList::emitPendingFileLine()
{
    if (!m_pending)
        return;
    m_pending = false;
    addLine(ResultEntry::fileLine(m_pendingPath, m_pendingArchive));
}

void ResultsList::addLine(const ResultEntry& entry)
{
    if (!m_store) {
        deliver(entry);
        return;
    }
    if (m_fileRecords + m_bufferRecords == 0)
        m_heldBackPath = entry.path;
    appendRecord(m_storeBuffer, entry, !entry.path.empty() && entry.path == m_heldBackPath);
    ++m_bufferRecords;
    if (m_storeBuffer.size() >= kSpillBytes)
        spill(); // a failure is reported when the lines are flushed
}

void ResultsList::deliver(const ResultEntry& entry)
{
    if (m_view && !(m_viewOnlyWithoutOutput && m_output))
        m_view->appendLine(entry);
    if (m_copyView)
        m_copyView->appendLine(entry);
    if (m_output && !m_outputFailed) {
        m_line.clear();
        appendOutputForm(m_line, entry.text, m_beforeHit, m_afterHit);
        m_line += "\r\n";
        m_outputFailed = !m_output->write(m_line.data(), m_line.size());
    }
}

bool ResultsList::beginHoldBack()
{
    endHoldBack();
    // An unnamed file: nothing is left behind however the program ends.
    m_store = m_fs.createScratch("TW");
    m_storeSize = 0;
    m_storeBuffer.clear();
    m_fileRecords = m_bufferRecords = 0;
    m_spillFailed = false;
    return m_store != nullptr;
}

bool ResultsList::spill()
{
    if (m_storeBuffer.empty())
        return true;
    const bool ok = m_store->seek(m_storeSize) && m_store->write(m_storeBuffer.data(), m_storeBuffer.size());
    if (ok) {
        m_storeSize += static_cast<int64_t>(m_storeBuffer.size());
        m_fileRecords += m_bufferRecords;
    } else {
        m_spillFailed = true;
    }
    m_storeBuffer.clear();
    m_bufferRecords = 0;
    return ok;
}

bool ResultsList::forEachHeldBack(const std::function<bool(ResultEntry&&)>& visit, size_t skip)
{
    if (!m_store)
        return false;
    // The records are read back in bounded chunks, so a file with millions of held-back
    // lines needs no more memory than one chunk and one line.
    std::string chunk;
    int64_t readPos = 0;
    size_t p = 0;
    auto need = [&](size_t bytes) {
        while (chunk.size() - p < bytes && readPos < m_storeSize) {
            chunk.erase(0, p);
            p = 0;
            const size_t want = static_cast<size_t>(std::min<int64_t>(kSpillBytes, m_storeSize - readPos));
            const size_t old = chunk.size();
            chunk.resize(old + want);
            if (!m_store->seek(readPos) || m_store->read(chunk.data() + old, want) != static_cast<int64_t>(want)) {
                chunk.resize(old);
                readPos = m_storeSize; // unreadable: the rest of the file is lost
                m_spillFailed = true;
                break;
            }
            readPos += static_cast<int64_t>(want);
        }
        return chunk.size() - p >= bytes;
    };
    // False when `visit` asked to stop.
    auto records = [&](bool fromFile) {
        for (;;) {
            if (fromFile ? !need(kRecordHeader) : chunk.size() - p < kRecordHeader)
                return true;
            const size_t size = recordSize(chunk.data() + p);
            if (fromFile ? !need(size) : chunk.size() - p < size)
                return true;
            if (skip > 0) {
                --skip;
                p += size;
                continue;
            }
            ResultEntry e = readRecord(chunk.data() + p, m_heldBackPath);
            p += size;
            if (!visit(std::move(e)))
                return false;
        }
    };
    if (!records(true))
        return true;
    // Records never straddle the file and the buffer: each is appended to the buffer
    // whole, and the buffer is written whole.
    chunk.assign(m_storeBuffer);
    p = 0;
    records(false);
    return true;
}

void ResultsList::flushHeldBack()
{
    if (!m_store)
        return;
    forEachHeldBack([this](ResultEntry&& e) {
        deliver(e);
        return true;
    });
    const bool lost = m_spillFailed;
    discardHeldBack();
    if (lost)
        deliver(ResultEntry::error(kHeldBackLost));
}

void ResultsList::discardHeldBack()
{
    if (!m_store)
        return;
    // The lines are dropped on purpose, so a failure to keep them is no loss to report. The
    // size is what counts: bytes beyond it are never read, so a failed truncation is harmless.
    if (m_storeSize > 0)
        (void)m_store->truncate(0);
    m_storeSize = 0;
    m_storeBuffer.clear();
    m_fileRecords = m_bufferRecords = 0;
    m_spillFailed = false;
}

void ResultsList::endHoldBack()
{
    if (!m_store)
        return;
    flushHeldBack();
    m_store.reset();
}

bool ResultsList::openOutputFile(const std::string& name, size_t fileCount,
                                 const std::function<std::string(size_t)>& fileAt)
{
    setOutputFile(nullptr);
    if (name.empty())
        return true;
    // The output file is created (emptied) only when it is not itself one of the files
    // to process: writing it would destroy a file the run is about to read or change.
    if (isOneOfTheFiles(m_fs, name, fileCount, fileAt))
        return false;
    std::unique_ptr<File> file = m_fs.openOutput(name);
    if (!file)
        return false;
    setOutputFile(file.get());
    m_ownedOutput = std::move(file);
    return true;
}

void ResultsList::writeToOutput(const std::string& text)
{
    if (m_output && !m_outputFailed)
        m_outputFailed = !m_output->write(text.data(), text.size());
}

} // namespace tw
