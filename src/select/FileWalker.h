#pragma once
// Builds the list of files to process from a path text (";"-separated start directories)
// and a mask text. The files of a directory come before those of its subdirectories;
// directories whose name starts with "." are never entered; symbolic links met during
// the walk are not followed.
#include "platform/FileSystem.h"
#include "select/FileList.h"
#include "select/MaskList.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tw {

// Where the files of one start directory begin in the list.
struct StartPath {
    size_t firstIndex = 0;
    std::string directory; // ends with "/"
};

struct WalkStats {
    long files = 0;
    long directories = 0;
};

class FileWalker {
public:
    explicit FileWalker(FileSystem& fs = RealFileSystem()) : m_fs(fs) {}

    // Called before each directory entry (keeps the interface alive); may set the stop flag.
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }
    void setStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Appends the selected files of every start directory of `pathText` to `out`.
    // `starts`, when given, receives each start directory with the list index at which its
    // files begin.
    void build(const std::string& pathText, const std::string& maskText, bool subdirectories,
               FileList& out, std::vector<StartPath>* starts = nullptr);

    const WalkStats& stats() const { return m_stats; }

private:
    void walk(std::string dir, bool subdirectories, FileList& out);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    FileSystem& m_fs;
    std::function<void()> m_pump;
    const std::atomic<bool>* m_stop = nullptr;
    MaskList m_masks;
    WalkStats m_stats;
};

// Splits a ";"-separated path text into its non-empty start directories, each ending in "/".
std::vector<std::string> SplitPathText(const std::string& pathText);

} // namespace tw
