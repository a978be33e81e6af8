#pragma once
// One run of the Search or Replace command: checks, preparation of the pairs, the file
// list, the loop over the files, counters, summaries and clean-up. Results go to a
// ResultSink (the results list); the user is reached through a RunHost.
#include "core/FileScanner.h"
#include "core/RunHost.h"
#include "core/SearchRequest.h"
#include "platform/FileSystem.h"
#include "results/ResultSink.h"
#include "select/FileListCache.h"

#include <atomic>
#include <memory>
#include <string>

namespace tw {

struct RunCounters {
    long filesSearched = 0;
    long totalHits = 0;
    long filesWithHits = 0;
    long replacements = 0;
    long filesReplaced = 0;
    long fileErrors = 0;    // file error lines produced (open, read, seek, write, backup, commit)
    long filesListed = 0;  // ListFilesOnly
    long directories = 0;  // ListFilesOnly
};

enum class RunOutcome {
    Completed, // the run went through its files
    NotRun,    // refused before any file was searched (preparation failed, declined, or
               // another run kept the recovery list locked)
    Stopped,   // Stop, or a cancelled confirmation
};

class RunDriver {
public:
    RunDriver(RunHost& host, ResultSink& results, FileSystem& fs = RealFileSystem());
    ~RunDriver();

    RunOutcome ExecuteRun(SearchRequest& request);
    RunOutcome ListFilesOnly(const SearchRequest& request);
    // Sets the stop flag; the run notices it between entries, blocks and files.
    void RequestStop() { m_stop.store(true); }
    bool running() const { return !m_stop.load(); }

    const RunCounters& counters() const { return m_counters; }
    FileListCache& cache() { return m_cache; }

private:
    bool openOutputFile(const SearchRequest& request, const FileList& list);
    // Walks every path/mask pair of the request into `list`.
    WalkStats buildFileList(const SearchRequest& request, FileList& list, std::vector<StartPath>* starts);
    // "message" + the file name without directory, as a results line and a message.
    void reportFileError(const std::string& message, const std::string& path, bool quiet);
    void addSummary(const std::string& text);
    void closeOutput();

    RunHost& m_host;
    ResultSink& m_results;
    FileSystem& m_fs;
    std::atomic<bool> m_stop{true}; // set while idle and when a stop is requested
    RunCounters m_counters;
    FileListCache m_cache;
};

// Builds the run heading written at the start of the output file.
std::string BuildRunHeading(const SearchRequest& request, const std::string& dateTime);

} // namespace tw
