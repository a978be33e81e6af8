#pragma once
// What a Search or Replace run works from, made by the driver's preparation and read
// during the run: the request, the file list and archives, the prepared pairs and the
// scan settings. The one thing that changes while files are searched is the list of a
// threaded search that walks as it searches (`walk` adds to `list` and `archives`, only
// ever on one thread at a time, from the pipeline's feeder).
#include "core/FileScanner.h"
#include "core/ListWalk.h"
#include "core/PreparedPair.h"
#include "core/SearchRequest.h"
#include "select/FileList.h"
#include "select/FileWalker.h"

#include <memory>
#include <string>
#include <vector>

namespace tw {

struct RunPlan {
    explicit RunPlan(SearchRequest& r) : request(r), opt(r.options), quiet(r.quiet), replace(r.replaceMode) {}

    SearchRequest& request; // the ledger writes its pairs' tallies (pairsFromScript)
    const ProgramOptions& opt;
    const bool quiet;
    const bool replace;
    FileList list;
    // `list` goes to the file-list cache after the run. When it does not, a search that
    // walks as it searches forgets each piece of it once the piece is cut into tasks.
    bool keepList = true;
    std::vector<StartPath> starts;      // the start path of each part of `list`
    std::string pathKey, maskKey;       // the file-list cache's keys
    std::vector<PreparedPair> prepared; // per pair, in request order
    ScanSettings scanSettings;
    std::string backupPath;             // ends with "/" unless empty
    std::vector<ArchiveTask> archives;  // search runs with "Search Zips": the archive phase's list
    size_t threads = 1;                 // worker threads of the search
    // A replace run that keeps an undo history: the thread that writes a file's final
    // output takes its SHA-256 (FileReport::outputHash) for the record. Set by the ledger
    // before the search begins; a preview and a run without history never hash.
    bool hashOutputs = false;
    // A threaded search walks while it searches: the walk still to go, which the workers
    // carry on (one at a time) as they run short of files. Null when `list` was complete
    // before the search began.
    std::unique_ptr<ListWalk> walk;
};

} // namespace tw
