#include "core/RecoveryList.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {

std::string Encode(const std::string& text)
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

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Decode(const std::string& text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int hi = HexValue(text[i + 1]);
        const int lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool ReadAll(FileSystem& fs, const std::string& path, std::string* out)
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
    if (!ReadAll(m_fs, path, &text))
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
        if (!Decode(line.substr(t1 + 1, t2 - t1 - 1), &e.original) ||
            !Decode(line.substr(t2 + 1, t3 == std::string::npos ? std::string::npos : t3 - t2 - 1), &e.safetyCopy))
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
        text += std::string(e.copyIsBackup ? "B" : "S") + '\t' + Encode(e.original) + '\t' + Encode(e.safetyCopy);
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
    auto lock = m_ops.lockFile(m_dataDir + "recovery.lock");
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
    auto lock = m_ops.lockFile(m_dataDir + "recovery.lock");
    if (!lock || !read(&list))
        list.clear();
    for (RecoveryEntry& e : list) {
        FileStatus st;
        e.copyExists = m_fs.status(e.safetyCopy, &st) && !st.isDirectory;
    }
    return list;
}

std::vector<RecoveryEntry> PendingRecoveries(FileSystem& fs, FileOps& ops, const std::string& dataDir)
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

std::vector<RecoveryEntry> PendingRecoveries(const std::string& dataDir)
{
    return PendingRecoveries(RealFileSystem(), RealFileOps(), dataDir);
}

std::string FormatRecoveryReport(const RecoveryEntry& entry)
{
    std::string text = "The program ended while it was rewriting the file\n" + entry.original
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

bool DismissRecovery(const std::string& dataDir, const RecoveryEntry& entry)
{
    return RecoveryList(RealFileSystem(), RealFileOps(), dataDir).remove(entry);
}

} // namespace tw
