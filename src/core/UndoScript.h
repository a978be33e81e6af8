#pragma once
// The undo script "twundo.sh" in the data directory: "#!/bin/sh", then one
// `cp -p -- 'SOURCE' 'TARGET'` line per committed file. It describes the last run that
// had a backup directory: the first commit of such a run empties it. When a path is too
// long for one system call, the line enters the directories in steps in a subshell first.
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tw {

inline constexpr const char* kUndoScriptName = "twundo.sh";

// A path as one single-quoted shell word; every ' becomes '\''. Safe for any bytes.
std::string shellQuote(const std::string& text);
// One undo line, ending in a line feed; every path that its commands pass to the system is
// shorter than PATH_MAX.
std::string undoCopyLine(const std::string& source, const std::string& target);

class UndoScript {
public:
    UndoScript(FileSystem& fs, FileOps& ops) : m_fs(fs), m_ops(ops) {}

    bool isOpen() const { return m_file != nullptr; }
    // Creates or empties "<dataDir>twundo.sh", writes the first line and makes it executable.
    [[nodiscard]] bool open(const std::string& dataDir);
    // Appends one copy line and flushes it to disk, so the script is usable after a crash.
    [[nodiscard]] bool addCopy(const std::string& source, const std::string& target);
    // Appends one copy line per (source, target) pair, all in one write.
    [[nodiscard]] bool addCopies(const std::vector<std::pair<std::string, std::string>>& copies);
    // The open script (null when not open), for a caller that makes its lines durable.
    File* file() const { return m_file.get(); }
    // Flushes the lines written so far to disk.
    [[nodiscard]] bool sync() { return m_file && m_file->sync(); }
    // Flushes the lines to disk and closes the script. False when the flush failed: lines
    // written without a rewrite batch after them (backup-directory mode) may be lost.
    [[nodiscard]] bool close()
    {
        const bool synced = !m_file || m_file->sync();
        m_file.reset();
        return synced;
    }
    const std::string& path() const { return m_path; }

private:
    FileSystem& m_fs;
    FileOps& m_ops;
    std::unique_ptr<File> m_file; // open between open() and close()
    std::string m_path;
};

} // namespace tw
