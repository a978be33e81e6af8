#pragma once
// Builds the list of files to process from a path text (";"-separated start directories)
// and a mask text. The files of a directory come before those of its subdirectories;
// symbolic links met during the walk are not followed. What is entered and selected is
// decided by the walk's filters: the dot-directory rule and the mask list, then any added.
#include "platform/FileSystem.h"
#include "select/FileList.h"
#include "select/WalkFilter.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class DirectoryReadAhead;

// Where the files of one start directory begin in the list.
struct StartPath {
    size_t firstIndex = 0;
    std::string directory; // ends with "/"
    size_t entry = 0;      // the walk's path entry it came from (see FileWalker::setEntry)
};

struct WalkStats {
    long files = 0;
    long directories = 0;
};

class FileWalker {
public:
    explicit FileWalker(FileSystem& fs = realFileSystem()) : m_fs(fs) {}

    // Called before each directory entry (keeps the interface alive); may set the stop flag.
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }
    void setStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Directories are then listed through `readAhead` (null: directly), which lists those
    // the walk will come to on other threads meanwhile. It must outlive the walk.
    void setReadAhead(DirectoryReadAhead* readAhead) { m_readAhead = readAhead; }

    // A filter applied after the dot-directory rule and the mask list, in the order added.
    void addFilter(std::unique_ptr<WalkFilter> filter) { m_extraFilters.push_back(std::move(filter)); }
    // A second selection made in the same walk: the files that `maskText` selects under the
    // dot-directory rule and the added filters that apply to every selection (not the
    // others) are appended to `out`, in walk order. The walk enters a directory when either selection may take files below it.
    // Null `out` turns it off.
    void setSecondSelection(const std::string& maskText, FileList* out)
    {
        m_secondMasks = out ? std::make_unique<MaskFilter>(maskText) : nullptr;
        m_secondOut = out;
    }

    // Appends the selected files of every start directory of `pathText` to `out`.
    // `starts`, when given, receives each start directory with the list index at which its
    // files begin.
    void build(const std::string& pathText, const std::string& maskText, bool subdirectories,
               FileList& out, std::vector<StartPath>* starts = nullptr);

    // The same walk a piece at a time, so that the files found so far can be worked on
    // while it goes on: begin() takes what build() takes (`out` and `starts` must outlive
    // the walk), then each step() walks up to `directories` more directories and says
    // whether any are left. The list grows exactly as under build().
    void begin(const std::string& pathText, const std::string& maskText, bool subdirectories, FileList& out,
               std::vector<StartPath>* starts = nullptr);
    bool step(size_t directories);
    // The number the start directories of the next begin() or build() are given in `starts`
    // (a run's path entries are numbered so that each file's entry is known).
    void setEntry(size_t entry) { m_entry = entry; }

    const WalkStats& stats() const { return m_stats; }

private:
    // A directory still to list, and which selections may take files in it: one entered
    // only for the second selection adds nothing to the first, and the other way round.
    struct Pending {
        std::string path;
        bool first = true;
        bool second = false;
    };
    // Lists one directory; false when the walk was stopped in it.
    bool walkDirectory(Pending current);
    // Ends the walk under way (stopped); false, for step() to return.
    bool endWalk();
    bool enters(const WalkEntry& dir) const;
    bool accepts(const WalkEntry& file) const;
    bool secondEnters(const WalkEntry& dir);
    bool secondAccepts(const WalkEntry& file);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    FileSystem& m_fs;
    DirectoryReadAhead* m_readAhead = nullptr;
    std::function<void()> m_pump;
    const std::atomic<bool>* m_stop = nullptr;
    // The filters of the current build(): the dot-directory rule, the mask list, then
    // m_extraFilters; m_needStatus when any of them reads entry statuses.
    std::vector<WalkFilter*> m_filters;
    DotDirectoryFilter m_dotDirectories;
    std::unique_ptr<MaskFilter> m_masks;
    std::vector<std::unique_ptr<WalkFilter>> m_extraFilters;
    bool m_needStatus = false;
    // The second selection: its masks and list, both null when there is none.
    std::unique_ptr<MaskFilter> m_secondMasks;
    FileList* m_secondOut = nullptr;
    WalkStats m_stats;
    // The walk under way (begin/step): the start directories, the next one to begin, and
    // the directories of the current start still to list (the next on top).
    std::vector<std::string> m_startDirs;
    size_t m_nextStart = 0;
    std::string m_start; // the start directory being walked
    std::string m_maskText;
    bool m_subdirectories = true;
    FileList* m_out = nullptr;
    std::vector<StartPath>* m_starts = nullptr;
    size_t m_entry = 0;
    std::vector<Pending> m_pending;
    // Reused by every directory.
    std::vector<DirEntry> m_entries;
    std::vector<Pending> m_subdirs;
    std::string m_full;
};

// Splits a ";"-separated path text into its non-empty start directories, each ending in "/".
std::vector<std::string> splitPathText(const std::string& pathText);

} // namespace tw
