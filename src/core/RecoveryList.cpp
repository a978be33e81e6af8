#include "core/RecoveryList.h"

#include "core/SafeRewrite.h"
#include "results/ResultEntry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {

std::string encode(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == '%' || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool decode(const std::string& text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool readAll(FileSystem& fs, const std::string& path, std::string* out)
{
    out->clear();
    auto file = fs.openRead(path);
    if (!file)
        return false;
    char buf[8192];
    for (;;) {
        const int64_t n = file->read(buf, sizeof buf);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out->append(buf, static_cast<size_t>(n));
    }
}

} // namespace

bool RecoveryList::read(std::vector<RecoveryEntry>* out)
{
    out->clear();
    FileStatus st;
    const std::string path = m_dataDir + kRecoveryListName;
    if (!m_fs.status(path, &st))
        return true; // no list: no entries
    std::string text;
    if (!readAll(m_fs, path, &text))
        return false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t t1 = line.find('\t');
        const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        if (t2 == std::string::npos || t1 != 1)
            continue; // not an entry line
        RecoveryEntry e;
        e.copyIsBackup = line[0] == 'B';
        // Optional fourth and fifth fields: the copy's offset and length in its file.
        const size_t t3 = line.find('\t', t2 + 1);
        const size_t t4 = t3 == std::string::npos ? t3 : line.find('\t', t3 + 1);
        if (!decode(line.substr(t1 + 1, t2 - t1 - 1), &e.original) ||
            !decode(line.substr(t2 + 1, t3 == std::string::npos ? std::string::npos : t3 - t2 - 1), &e.safetyCopy))
            continue;
        if (t4 != std::string::npos) {
            e.copyOffset = std::strtoll(line.c_str() + t3 + 1, nullptr, 10);
            e.copyLength = std::strtoll(line.c_str() + t4 + 1, nullptr, 10);
        }
        out->push_back(std::move(e));
    }
    return true;
}

bool RecoveryList::write(const std::vector<RecoveryEntry>& list)
{
    std::string text;
    for (const RecoveryEntry& e : list)
    {
        text += std::string(e.copyIsBackup ? "B" : "S") + '\t' + encode(e.original) + '\t' + encode(e.safetyCopy);
        if (e.copyLength >= 0)
            text += '\t' + std::to_string(e.copyOffset) + '\t' + std::to_string(e.copyLength);
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

bool dismissRecovery(const std::string& dataDir, const RecoveryEntry& entry)
{
    return RecoveryList(realFileSystem(), realFileOps(), dataDir).remove(entry);
}

namespace {

// The copy of an entry is all there: a safety segment lies within its file, a backup has
// the length it had when the entry was written.
bool copyComplete(FileSystem& fs, const RecoveryEntry& e)
{
    FileStatus st;
    if (!fs.status(e.safetyCopy, &st) || !st.isRegular)
        return false;
    if (e.copyLength < 0)
        return true; // an entry from before lengths were kept: the whole file
    if (e.copyIsBackup)
        return e.copyOffset == 0 && st.size == e.copyLength;
    return e.copyOffset >= 0 && st.size >= e.copyOffset + e.copyLength;
}

// Deletes the safety files that no remaining entry uses any more (backups stay).
void dropUnusedSafetyFiles(FileSystem& fs, const std::vector<RecoveryEntry>& done,
                           const std::vector<RecoveryEntry>& remaining)
{
    for (const RecoveryEntry& e : done) {
        if (e.copyIsBackup)
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
        if (!copyComplete(fs, e)) {
            lines->push_back("Not restored: the copy of its earlier content is missing or incomplete: " +
                             displayName(e.original) + " (copy " + displayName(e.safetyCopy) + ")");
            allRestored = false;
            continue;
        }
        auto copy = fs.openRead(e.safetyCopy);
        // The original is rewritten in place (created again when it is gone), never
        // through a link that took its name.
        auto target = copy ? fs.openWrite(e.original, true, false) : nullptr;
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
        dropUnusedSafetyFiles(fs, done, list.entries());
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
    for (const RecoveryEntry& e : entries)
        lines->push_back("Forgot the interrupted rewrite of " + displayName(e.original) +
                         (e.copyIsBackup ? "; its backup stays in " + displayName(e.safetyCopy) : std::string()));
    dropUnusedSafetyFiles(fs, entries, list.entries());
    return true;
}

} // namespace tw
