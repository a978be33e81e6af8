#include "core/RecoveryList.h"

#include "core/RecordFields.h"
#include "core/SafeRewrite.h"
#include "results/ResultEntry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace tw {

bool RecoveryList::read(std::vector<RecoveryEntry>* out)
{
    out->clear();
    FileStatus st;
    const std::string path = m_dataDir + kRecoveryListName;
    if (!m_fs.status(path, &st))
        return true; // no list: no entries
    std::string text;
    if (!readRecordFile(m_fs, path, &text))
        return false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::vector<std::string> fields = splitTabs(text.substr(pos, end - pos));
        pos = end + 1;
        // A kind letter, two paths, then optionally the copy's offset and length, then
        // optionally its device and inode. Anything else is not an entry line.
        const size_t n = fields.size();
        if ((n != 3 && n != 5 && n != 7) || (fields[0] != "S" && fields[0] != "B"))
            continue;
        RecoveryEntry e;
        e.copyIsBackup = fields[0] == "B";
        if (!decodeRecordField(fields[1], &e.original) || !decodeRecordField(fields[2], &e.safetyCopy))
            continue;
        uint64_t offset = 0, length = 0;
        const uint64_t kMaxSize = static_cast<uint64_t>(INT64_MAX) / 2;
        if (n >= 5) {
            if (!parseDecimal(fields[3], kMaxSize, &offset) || !parseDecimal(fields[4], kMaxSize, &length))
                continue;
            e.copyOffset = static_cast<int64_t>(offset);
            e.copyLength = static_cast<int64_t>(length);
        }
        if (n == 7 && (!parseDecimal(fields[5], UINT64_MAX, &e.copyDevice) ||
                       !parseDecimal(fields[6], UINT64_MAX, &e.copyInode)))
            continue;
        out->push_back(std::move(e));
    }
    return true;
}

bool RecoveryList::write(const std::vector<RecoveryEntry>& list)
{
    std::string text;
    for (const RecoveryEntry& e : list)
    {
        text += std::string(e.copyIsBackup ? "B" : "S") + '\t' + encodeRecordField(e.original) + '\t' + encodeRecordField(e.safetyCopy);
        if (e.copyLength >= 0) {
            text += '\t' + std::to_string(e.copyOffset) + '\t' + std::to_string(e.copyLength);
            if (e.copyInode != 0)
                text += '\t' + std::to_string(e.copyDevice) + '\t' + std::to_string(e.copyInode);
        }
        text += '\n';
    }
    // Write a new list next to the old one and rename it over, so a crash leaves either
    // the old or the new list, never a torn one.
    const std::string tmp = m_ops.createUniqueFile(m_dataDir, "recovery.new.");
    if (tmp.empty())
        return false;
    bool ok = false;
    if (auto file = m_fs.openWrite(tmp, false, true))
        ok = file->write(text.data(), text.size()) && file->sync();
    ok = ok && m_ops.rename(tmp, m_dataDir + kRecoveryListName) && m_ops.syncDirectory(m_dataDir);
    if (!ok)
        m_fs.removeFile(tmp);
    return ok;
}

bool RecoveryList::update(const std::function<bool(std::vector<RecoveryEntry>&)>& change)
{
    if (m_dataDir.empty())
        return false;
    auto lock = m_ops.lockFile(m_dataDir + kRecoveryLockName, kRecoveryLockWaitMs);
    std::vector<RecoveryEntry> list;
    if (!lock || !read(&list))
        return false;
    return !change(list) || write(list);
}

bool RecoveryList::add(const std::vector<RecoveryEntry>& entries)
{
    return update([&](std::vector<RecoveryEntry>& list) {
        list.insert(list.end(), entries.begin(), entries.end());
        return true;
    });
}

bool RecoveryList::remove(const std::vector<RecoveryEntry>& entries)
{
    return update([&](std::vector<RecoveryEntry>& list) {
        bool changed = false;
        for (const RecoveryEntry& entry : entries) {
            const auto it = std::find(list.begin(), list.end(), entry);
            if (it != list.end()) {
                list.erase(it);
                changed = true;
            }
        }
        return changed;
    });
}

std::vector<RecoveryEntry> RecoveryList::entries()
{
    std::vector<RecoveryEntry> list;
    if (m_dataDir.empty())
        return list;
    // The list is only ever replaced by a rename, so it reads whole without the lock; a
    // run that holds the lock for long does not keep others from starting.
    if (!read(&list))
        list.clear();
    for (RecoveryEntry& e : list) {
        FileStatus st;
        e.copyExists = m_fs.status(e.safetyCopy, &st) && !st.isDirectory;
    }
    return list;
}

std::vector<RecoveryEntry> pendingRecoveries(FileSystem& fs, FileOps& ops, const std::string& dataDir)
{
    std::vector<RecoveryEntry> entries = RecoveryList(fs, ops, dataDir).entries();
    // A segment that is in fact its whole file is reported as the file.
    for (RecoveryEntry& e : entries) {
        FileStatus st;
        if (e.copyLength >= 0 && e.copyOffset == 0 && fs.status(e.safetyCopy, &st) && st.size == e.copyLength)
            e.copyLength = -1;
    }
    return entries;
}

std::vector<RecoveryEntry> pendingRecoveries(const std::string& dataDir)
{
    return pendingRecoveries(realFileSystem(), realFileOps(), dataDir);
}

std::string formatRecoveryReport(const RecoveryEntry& entry)
{
    std::string text = "The program ended while it was rewriting the file\n" + displayName(entry.original)
                     + "\nThe file may be incomplete.";
    if (entry.copyExists) {
        text += " Its content from before the rewrite is kept in\n" + entry.safetyCopy;
        if (entry.copyLength >= 0)
            text += " (bytes " + std::to_string(entry.copyOffset) + " to " +
                    std::to_string(entry.copyOffset + entry.copyLength) + ")";
    }
    else
        text += " The copy of its earlier content is missing:\n" + entry.safetyCopy;
    return text;
}

bool reportPendingRecoveries(const std::string& dataDir, const std::string& advice,
                             const std::function<void(const std::string&)>& say)
{
    const std::vector<RecoveryEntry> pending = pendingRecoveries(dataDir);
    for (const RecoveryEntry& entry : pending)
        say(formatRecoveryReport(entry));
    if (!pending.empty())
        say(advice);
    return !pending.empty();
}

std::string dataDirectoryFailure(const std::string& dir, const std::string& path, int error)
{
    const std::string why = dir.empty() ? "There is no data directory: neither XDG_DATA_HOME nor HOME is set"
                                        : "The data directory " + displayName(dir) + " cannot be written (" +
                                              (path == dir ? std::string() : displayName(path) + ": ") +
                                              std::strerror(error) + ")";
    return why + "; nothing was replaced. Replace keeps a copy of each file in the data directory while the "
                 "file is rewritten.";
}

std::string dataDirectoryUnwritable(FileSystem& fs, FileOps& ops, const std::string& dataDir)
{
    const std::string safety = dataDir + kSafetyDirName + "/";
    for (const std::string& dir : {dataDir, safety}) {
        // A safety directory that cannot be made shows as the file that cannot be made in it.
        if (dir == safety)
            (void)ops.makeDirectory(dataDir + kSafetyDirName);
        int error = EIO;
        const std::string probe = ops.createUniqueFile(dir, "TWprobe.", &error);
        if (probe.empty())
            return dataDirectoryFailure(dataDir, dir, error);
        fs.removeFile(probe);
    }
    return {};
}

bool dismissRecovery(const std::string& dataDir, const RecoveryEntry& entry)
{
    return RecoveryList(realFileSystem(), realFileOps(), dataDir).remove(entry);
}

namespace {

// `path` names a file directly inside "<dataDir>safety/", compared as canonical paths, so
// that neither "..", a link nor another spelling of a directory leads out of it. The last
// component itself is never followed: the copy is opened without following links.
bool inSafetyDirectory(const std::string& dataDir, const std::string& path)
{
    namespace stdfs = std::filesystem;
    const stdfs::path p(path);
    const stdfs::path name = p.filename();
    if (name.empty() || name == "." || name == ".." || dataDir.empty())
        return false;
    std::error_code ec;
    const stdfs::path dir = stdfs::canonical(p.parent_path(), ec);
    if (ec)
        return false;
    const stdfs::path safety = stdfs::canonical(stdfs::path(dataDir + kSafetyDirName), ec);
    return !ec && dir == safety;
}

// The status is that of the copy the entry recorded.
bool isRecordedCopy(const RecoveryEntry& e, const FileStatus& st)
{
    return e.copyInode != 0 && st.isRegular && st.device == e.copyDevice && st.inode == e.copyInode;
}

// Opens the copy of an entry for a restore when it is the recorded file and all there: a
// safety copy inside the safety directory whose file holds the recorded segment, a backup
// of the recorded length. Otherwise null, and *why says what is wrong.
std::unique_ptr<File> openRecordedCopy(FileSystem& fs, const std::string& dataDir, const RecoveryEntry& e,
                                       std::string* why)
{
    if (!e.copyIsBackup && !inSafetyDirectory(dataDir, e.safetyCopy)) {
        *why = "its copy does not lie in the safety directory";
        return nullptr;
    }
    auto copy = fs.openRead(e.safetyCopy);
    FileStatus st;
    if (!copy || !copy->status(&st)) {
        *why = "the copy of its earlier content is missing or incomplete";
        return nullptr;
    }
    if (!isRecordedCopy(e, st)) {
        *why = e.copyInode == 0 ? "its entry does not record which file its copy is"
                                : "its copy is not the file that was recorded for it";
        return nullptr;
    }
    const bool complete = e.copyLength >= 0 && e.copyOffset >= 0 &&
                          (e.copyIsBackup ? e.copyOffset == 0 && st.size == e.copyLength
                                          : st.size >= e.copyLength && st.size - e.copyLength >= e.copyOffset);
    if (!complete) {
        *why = "the copy of its earlier content is missing or incomplete";
        return nullptr;
    }
    return copy;
}

// The entry's copy is a safety copy this program made and may delete: inside the safety
// directory and still the recorded file (the name itself, never a link's target).
bool deletableSafetyCopy(FileSystem& fs, const std::string& dataDir, const RecoveryEntry& e)
{
    FileStatus st;
    return !e.copyIsBackup && inSafetyDirectory(dataDir, e.safetyCopy) &&
           fs.status(e.safetyCopy, &st, /*followLinks=*/false) && isRecordedCopy(e, st);
}

// Deletes the safety files that no remaining entry uses any more (backups stay).
void dropUnusedSafetyFiles(FileSystem& fs, const std::string& dataDir, const std::vector<RecoveryEntry>& done,
                           const std::vector<RecoveryEntry>& remaining)
{
    for (const RecoveryEntry& e : done) {
        if (!deletableSafetyCopy(fs, dataDir, e))
            continue;
        bool used = false;
        for (const RecoveryEntry& r : remaining)
            used = used || r.safetyCopy == e.safetyCopy;
        if (!used)
            fs.removeFile(e.safetyCopy);
    }
}

} // namespace

bool recoverPending(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<std::string>* lines)
{
    RecoveryList list(fs, ops, dataDir);
    bool allRestored = true;
    std::vector<RecoveryEntry> done;
    const std::vector<RecoveryEntry> entries = list.entries();
    for (const RecoveryEntry& e : entries) {
        std::string why;
        auto copy = openRecordedCopy(fs, dataDir, e, &why);
        if (!copy) {
            lines->push_back("Not restored: " + why + ": " + displayName(e.original) + " (copy " +
                             displayName(e.safetyCopy) + ")");
            allRestored = false;
            continue;
        }
        // The original is rewritten in place (created again when it is gone), never
        // through a link that took its name.
        auto target = fs.openWrite(e.original, true, false);
        int64_t n = -1;
        if (target && target->lockExclusive(kOriginalLockWaitMs))
            n = copySegment(*copy, e.copyOffset, e.copyLength, *target);
        if (n < 0 || !target->truncate(n) || !target->sync()) {
            lines->push_back("Not restored: writing failed: " + displayName(e.original));
            allRestored = false;
            continue;
        }
        lines->push_back("Restored " + displayName(e.original) + " from " + displayName(e.safetyCopy));
        done.push_back(e);
    }
    if (!done.empty()) {
        if (!list.remove(done)) {
            lines->push_back("The recovery list could not be updated.");
            return false;
        }
        dropUnusedSafetyFiles(fs, dataDir, done, list.entries());
    }
    return allRestored;
}

bool discardPending(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<std::string>* lines)
{
    RecoveryList list(fs, ops, dataDir);
    const std::vector<RecoveryEntry> entries = list.entries();
    if (entries.empty())
        return true;
    if (!list.remove(entries)) {
        lines->push_back("The recovery list could not be updated.");
        return false;
    }
    for (const RecoveryEntry& e : entries) {
        std::string line = "Forgot the interrupted rewrite of " + displayName(e.original);
        if (e.copyIsBackup)
            line += "; its backup stays in " + displayName(e.safetyCopy);
        else if (e.copyExists && !deletableSafetyCopy(fs, dataDir, e))
            line += "; " + displayName(e.safetyCopy) + " is not a safety copy of this program and stays";
        lines->push_back(line);
    }
    dropUnusedSafetyFiles(fs, dataDir, entries, list.entries());
    return true;
}

} // namespace tw
