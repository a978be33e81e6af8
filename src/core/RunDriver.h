#pragma once
// One run of the Search or Replace command, or a listing. A run is a sequence of named
// steps (ExecuteRun):
//   prepareRun (checks, file list, output file, replace set-up, preparePairs: the RunPlan)
//   -> for each file and archive member: a FileSearch runs every pair over it and fills a
//      FileReport (on this thread, or on the workers of a ParallelSearch, whose records are
//      replayed here in file order)
//   -> the RunLedger takes each report in file order: decide (keep the file's outcome?),
//      then count, show or discard its lines, commit (replace: rewrite the original)
//   -> addSummaries -> endRun (clean-up, on every way out).
// Results go to a ResultSink (the results list); the user is reached through a RunHost.
#include "core/FileReport.h"
#include "core/FileScanner.h"
#include "core/PreparedPair.h"
#include "core/RecordedBatch.h"
#include "core/RunHost.h"
#include "core/RunTexts.h"
#include "core/SearchRequest.h"
#include "core/TouchFiles.h"
#include "platform/ArchiveReader.h"
#include "platform/FileSystem.h"
#include "results/ResultSink.h"
#include "core/ListWalk.h"
#include "select/FileListCache.h"
#include "select/MemberSelection.h"

#include <atomic>
#include <functional>
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
    long archivesDone = 0; // archives opened so far (archive phase and member listing)
};

enum class RunOutcome {
    Completed, // the run went through its files
    NotRun,    // refused before any file was searched (preparation failed, declined, or
               // another run kept the recovery list locked)
    Stopped,   // Stop, or a cancelled confirmation
};

struct RunPlan;
class RunLedger;
struct Lane;

class RunDriver {
public:
    RunDriver(RunHost& host, ResultSink& results, FileSystem& fs = realFileSystem());
    ~RunDriver();

    // Both refuse to start (NotRun) while a run is active, also when called from inside
    // the host's pump() during a run.
    RunOutcome ExecuteRun(SearchRequest& request);
    RunOutcome ListFilesOnly(const SearchRequest& request);
    // Touch, as runs of this driver (one at a time, stopped by requestStop): the files a
    // run of `request` would select into `list` (nothing goes to the results); then
    // `touch` applied to each file of `list` in order, with a results line for each file
    // left alone or in error and the summary. Defined in RunDriverTouch.cpp.
    RunOutcome CollectTouchList(const SearchRequest& request, FileList& list);
    RunOutcome TouchFileList(const FileList& list, const TouchRequest& touch);
    // Sets the stop flag; the run notices it between entries, blocks and files.
    void requestStop() { m_stop.store(true); }
    // True from the start of a run until it has returned, whatever way it ends.
    bool running() const { return m_active.load(); }

    // Decides for each scanned file of later runs whether its outcome is kept (from its
    // report: the per-pair counters). With a decision a search run holds each file's lines
    // back until it is decided; a dropped file shows nothing, adds nothing to the totals
    // and is not rewritten. Empty (the default): every scanned file is kept.
    void setFileDecision(std::function<bool(const FileReport&)> decide) { m_decision = std::move(decide); }

    // A driver that makes one run only (the command line) keeps no file list for a next
    // run: the list cache stays empty, and a search keeps only the paths of the files in
    // flight. On by default.
    void setKeepsListForNextRun(bool keep) { m_keepsListForNextRun = keep; }
    // Originals a replace run rewrites together (1024 by default; see
    // ReplaceWriter::setBatchLimit). Small batches let tests reach the hand-over of one
    // batch while the next is staged.
    void setRewriteBatchLimit(size_t files) { m_rewriteBatchLimit = files; }

    const RunCounters& counters() const { return m_counters; }
    FileListCache& cache() { return m_cache; }

    // The most worker threads a search run uses.
    static constexpr size_t kMaxThreads = 256;
    // The worker threads for a request's `threads` (0: one per core).
    static size_t workerThreads(size_t requested);

private:
    // Marks a run active for its lifetime and idle again on every way out.
    class RunGuard {
    public:
        explicit RunGuard(RunDriver& driver) : m_driver(driver)
        {
            m_driver.m_stop.store(false);
            m_driver.m_active.store(true);
        }
        ~RunGuard()
        {
            m_driver.m_stop.store(true);
            m_driver.m_active.store(false);
        }
        RunGuard(const RunGuard&) = delete;
        RunGuard& operator=(const RunGuard&) = delete;

    private:
        RunDriver& m_driver;
    };

    // The steps of ExecuteRun.
    bool prepareRun(RunPlan& plan, RunLedger& ledger);
    // The file list (from the cache when nothing changed since it was built), the start
    // of the walk alongside the search, or the archives; false when the run is to end.
    bool prepareFileList(RunPlan& plan);
    bool preparePairs(RunPlan& plan);
    // The threads a prepared search uses: one when the shown replacements count hits
    // across files (a counter in a replace text), whose numbers follow the file order.
    void chooseThreads(RunPlan& plan);
    // The files, then the archives, on this thread.
    void searchOnThisThread(RunPlan& plan, RunLedger& ledger);
    void addSummaries(RunPlan& plan, RunLedger& ledger, bool stopped);

    // Listing: the selected members of every archive, from the archive's directory.
    bool listArchives(const SearchRequest& request, const std::vector<ArchiveTask>& archives);
    // The archives below the request's paths (the "ZIP Mask" walk, without date and size
    // filters); empty unless the request searches archives. Only used when the file list
    // comes from the cache: otherwise buildFileList finds them in its walk.
    std::vector<ArchiveTask> buildArchiveList(const SearchRequest& request);

    bool openOutputFile(const SearchRequest& request, const FileList& list);
    // "Error writing to output file" and the file's name, as a results line and a message.
    void outputFileError(const std::string& name, bool quiet);
    // The request's results page would take the place of one of the run's files or of its
    // output file: says so and returns true.
    bool refusesResultsPage(const SearchRequest& request, const FileList& list);
    // A run on `threads` threads walks alongside its work (searching or listing) rather
    // than before it.
    static bool walksAlongside(const SearchRequest& request, size_t threads);
    // A listing on several threads: a second thread walks (with the others reading ahead)
    // while this one lists each file found with listOne(path, index, files found so far,
    // whether the walk has ended), until that returns false, which sets *stopped.
    WalkStats listWhileWalking(const SearchRequest& request, std::vector<ArchiveTask>* found,
                               const std::function<bool(std::string_view, size_t, size_t, bool)>& listOne,
                               bool* stopped);
    // Walks every path/mask pair of the request into `list`; with `archives`, the same walk
    // also finds the archives of a run that searches them.
    WalkStats buildFileList(const SearchRequest& request, FileList& list, std::vector<StartPath>* starts,
                            std::vector<ArchiveTask>* archives);
    // The lane straight to the run: its results list, host and counters.
    Lane straightLane(RunLedger* ledger);
    void closeOutput();

    RunHost& m_host;
    ResultSink& m_results;
    FileSystem& m_fs;
    std::atomic<bool> m_stop{true};    // set while idle and when a stop is requested
    std::atomic<bool> m_active{false}; // a run is in progress (see RunGuard)
    RunCounters m_counters;
    FileListCache m_cache;
    bool m_keepsListForNextRun = true; // see setKeepsListForNextRun
    std::function<bool(const FileReport&)> m_decision; // see setFileDecision
    size_t m_rewriteBatchLimit = 1024;                  // see setRewriteBatchLimit
    // The run's output file stands in for "Default Printer": the temporary file printed on
    // m_printer and deleted when the output is closed. Both empty otherwise.
    std::string m_printFile, m_printer;
};

} // namespace tw
