#include "core/MemberExtract.h"

#include "core/RunTexts.h"
#include "platform/ArchiveReader.h"
#include "platform/Assert.h"
#include "results/ResultEntry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace tw {

namespace {

constexpr const char* kCopyPrefix = "TWV";
constexpr size_t kMaxExtension = 10;
constexpr unsigned kMaxAttempts = 100000; // names tried before giving up on a full directory
constexpr size_t kCopyBlock = 65536;

bool isPlainAscii(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The extension of the member's last name part (after "/" or "\\"), or "" when it has
// none or one that is not 1-10 ASCII letters and digits.
std::string plainExtension(const std::string& memberName)
{
    const size_t slash = memberName.find_last_of("/\\");
    const std::string last = slash == std::string::npos ? memberName : memberName.substr(slash + 1);
    const size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    const std::string ext = last.substr(dot + 1);
    if (ext.empty() || ext.size() > kMaxExtension)
        return {};
    for (const char c : ext)
        if (!isPlainAscii(c))
            return {};
    return ext;
}

std::string systemText(int error)
{
    return error ? std::string(std::strerror(error)) : std::string();
}

// Stands at the first regular member named `name`; Member, End (none) or Error.
ArchiveReader::Step findMember(ArchiveReader& reader, const std::string& name, ArchiveMember* member)
{
    for (;;) {
        const ArchiveReader::Step step = reader.next(member);
        if (step != ArchiveReader::Step::Member || (member->isRegular && member->name == name))
            return step;
    }
}

// The member's data into `out`, holes passed over by seeking; "" or the reason it failed.
std::string copyData(ArchiveReader& reader, File& out, int64_t limit)
{
    std::vector<char> block(kCopyBlock);
    int64_t written = 0; // bytes of the member placed in the copy, holes included
    for (;;) {
        TW_ASSERT(written == reader.memberOffset()); // the copy keeps pace with the member
        const int64_t hole = reader.holeAhead();
        if (hole > 0) {
            if (limit > 0 && written + hole > limit)
                return "over";
            reader.skipHole(hole);
            written += hole;
            if (!out.seek(written))
                return "write";
            continue;
        }
        const int64_t got = reader.read(block.data(), block.size());
        if (got < 0)
            return "read";
        if (got == 0)
            break;
        if (limit > 0 && written + got > limit)
            return "over";
        if (!out.write(block.data(), static_cast<size_t>(got)))
            return "write";
        written += got;
    }
    // A trailing hole leaves the file short of the member's size until it is set.
    return out.truncate(written) ? std::string() : std::string("write");
}

// One past the highest number of a "TWV<n>..." name in `directory`, so that copies are
// numbered in the order they were made.
unsigned nextCopyNumber(FileSystem& fs, const std::string& directory)
{
    std::vector<DirEntry> entries;
    unsigned highest = 0;
    if (!fs.listDirectory(directory, &entries))
        return 1;
    const size_t prefix = std::strlen(kCopyPrefix);
    for (const DirEntry& e : entries) {
        if (e.name.rfind(kCopyPrefix, 0) != 0)
            continue;
        unsigned n = 0;
        size_t i = prefix;
        for (; i < e.name.size() && e.name[i] >= '0' && e.name[i] <= '9' && n < kMaxAttempts * 10; ++i)
            n = n * 10 + static_cast<unsigned>(e.name[i] - '0');
        if (i > prefix)
            highest = std::max(highest, n);
    }
    return highest + 1;
}

} // namespace

std::string extractedName(unsigned n, const std::string& memberName)
{
    std::string name = kCopyPrefix + std::to_string(n);
    const std::string ext = plainExtension(memberName);
    if (!ext.empty())
        name += "." + ext;
    return name;
}

std::string extractionDirectory(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::string* error)
{
    const std::string dir = dataDir + "view/";
    FileStatus st;
    const std::string name = dir.substr(0, dir.size() - 1); // without the "/", which would follow a link
    if (dataDir.empty() || !ops.makeDirectory(name) || !fs.status(name, &st, false) ||
        st.isSymlink || !st.isDirectory) {
        *error = fileErrorText("Error creating ", displayName(dir));
        return {};
    }
    return dir;
}

MemberExtraction extractMember(FileSystem& fs, const std::string& archivePath, const std::string& memberName,
                               const std::string& directory, int64_t limit)
{
    const std::string shown = memberText(archivePath, memberName);
    int openError = 0;
    std::unique_ptr<File> archiveFile = fs.openRead(archivePath, &openError);
    if (!archiveFile)
        return {{}, fileErrorText("Error opening ", displayName(archivePath), systemText(openError))};
    std::string why;
    std::unique_ptr<ArchiveReader> reader = ArchiveReader::open(std::move(archiveFile), &why);
    if (!reader)
        return {{}, fileErrorText("Error reading file ", displayName(archivePath), why)};
    ArchiveMember member;
    const ArchiveReader::Step step = findMember(*reader, memberName, &member);
    if (step == ArchiveReader::Step::Error)
        return {{}, fileErrorText("Error reading file ", displayName(archivePath), reader->errorText())};
    if (step == ArchiveReader::Step::End)
        return {{}, "Not found in the archive: " + shown};
    if (member.encrypted)
        return {{}, "Cannot read encrypted file " + shown};
    const std::string tooLarge = "Not copied: " + shown + " expands beyond " + std::to_string(limit) + " bytes";
    if (limit > 0 && member.sizeKnown && member.size > limit)
        return {{}, tooLarge};

    std::unique_ptr<File> out;
    std::string path;
    int createError = EEXIST;
    const unsigned first = nextCopyNumber(fs, directory);
    for (unsigned n = first; !out && createError == EEXIST && n - first < kMaxAttempts; ++n) {
        path = directory + extractedName(n, memberName);
        out = fs.createNew(path, 0600, &createError);
    }
    if (!out)
        return {{}, fileErrorText("Error creating ", displayName(path), systemText(createError))};

    const std::string failed = copyData(*reader, *out, limit);
    const bool done = failed.empty() && out->setMode(0400);
    out.reset();
    if (done)
        return {path, {}};
    fs.removeFile(path); // never leave a partial copy for a viewer to show
    if (failed == "over")
        return {{}, tooLarge};
    if (failed == "read")
        return {{}, fileErrorText("Error reading file ", shown, reader->errorText())};
    return {{}, fileErrorText("Error writing ", displayName(path))};
}

void removeExtractedMembers(FileSystem& fs, const std::string& directory)
{
    std::vector<DirEntry> entries;
    if (directory.empty() || !fs.listDirectory(directory, &entries))
        return;
    for (const DirEntry& e : entries)
        if (e.type == EntryType::File && e.name.rfind(kCopyPrefix, 0) == 0)
            fs.removeFile(directory + e.name);
}

} // namespace tw
