#pragma once
// The walk that makes a run's file list: every path/mask pair of the request in order,
// through the run's filters (date and size, ignore files), finding in the same walk the
// archives of a run that searches them. It can go to the end at once (walkOn(SIZE_MAX))
// or a piece at a time, so that a threaded search works on the first files while the walk
// goes on; either way the list grows the same.
#include "core/SearchRequest.h"
#include "select/DateSizeFilter.h"
#include "select/FileList.h"
#include "select/FileWalker.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tw {

// An archive found by the walk, with the member masks that apply inside it: "ZIP File
// Mask", or else the mask of the path/mask pair under which it was found.
struct ArchiveTask {
    std::string path;
    std::string memberMask;
};

class ListWalk {
public:
    // Files go to `list` (and their start directories to `starts` when given); with
    // `archives`, the archives of a run that searches them go there, each pair's after its
    // walk. All of them must outlive the walk. `pump`, when set, runs before every entry.
    ListWalk(FileSystem& fs, const SearchRequest& request, FileList& list, std::vector<StartPath>* starts,
             std::vector<ArchiveTask>* archives, const std::atomic<bool>* stop, std::function<void()> pump);

    // Walks on until the list has grown by at least `files` or the walk is over; false
    // once it is over (also when stopped).
    bool walkOn(size_t files);
    bool finished() const { return m_pair >= m_request.pathMasks.size(); }
    // Lists the directories through `readAhead` (see FileWalker::setReadAhead).
    void setReadAhead(DirectoryReadAhead* readAhead) { m_walker.setReadAhead(readAhead); }
    const WalkStats& stats() const { return m_walker.stats(); }

    // A run that searches archives: Search Zips with a ZIP Mask, and never a replace run.
    static bool searchesArchives(const SearchRequest& request);
    // The tasks of the archives `found` under `pm`.
    static void addArchiveTasks(const SearchRequest& request, const PathMaskPair& pm, const FileList& found,
                                std::vector<ArchiveTask>* archives);
    // The date and size bounds of the options (for the walk's filter and the members').
    static DateSizeBounds filterBounds(const ProgramOptions& options);
    // "Use Ignore Files": the walk also skips what git's ignore files ignore.
    static void addIgnoreFilter(FileWalker& walker, FileSystem& fs, const ProgramOptions& options);

private:
    const SearchRequest& m_request;
    FileList& m_list;
    std::vector<StartPath>* m_starts;
    std::vector<ArchiveTask>* m_archives; // null: archives are not looked for
    FileWalker m_walker;
    size_t m_pair = 0;    // the path/mask pair being walked; pathMasks.size() when done
    bool m_begun = false; // m_walker has begun the walk of pair m_pair
    FileList m_found;     // the archives of pair m_pair found so far
};

} // namespace tw
