#pragma once
// One run of the Search or Replace command. A run is a sequence of named steps:
//   prepareRun (checks, file list, output file, replace set-up, preparePairs)
//   -> for each file: processFile(k) fills a FileReport (its counters; its lines are in
//      the results, held back while the file is undecided)
//   -> decideFile (keep the file's outcome?) -> commitFile (replace: rewrite the original)
//   -> addSummaries -> endRun (clean-up, on every way out).
// Results go to a ResultSink (the results list); the user is reached through a RunHost.
#include "core/FileReport.h"
#include "core/FileScanner.h"
#include "core/PreparedPair.h"
#include "core/RecordedBatch.h"
#include "core/RunHost.h"
#include "core/SearchRequest.h"
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

class ResultRecorder;

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

class RunDriver {
public:
    RunDriver(RunHost& host, ResultSink& results, FileSystem& fs = realFileSystem());
    ~RunDriver();

    // Both refuse to start (NotRun) while a run is active, also when called from inside
    // the host's pump() during a run.
    RunOutcome ExecuteRun(SearchRequest& request);
    RunOutcome ListFilesOnly(const SearchRequest& request);
    // Sets the stop flag; the run notices it between entries, blocks and files.
    void requestStop() { m_stop.store(true); }
    // True from the start of a run until it has returned, whatever way it ends.
    bool running() const { return m_active.load(); }

    const RunCounters& counters() const { return m_counters; }
    FileListCache& cache() { return m_cache; }

    // The most worker threads a search run uses.
    static constexpr size_t kMaxThreads = 256;
    // The worker threads for a request's `threads` (0: one per core).
    static size_t workerThreads(size_t requested);

private:
    struct Run;
    struct Worker;
    // Where the work on a file sends its lines, messages and counts: straight to the run's
    // results list, host and counters (on the run's thread), or into a worker's recorder,
    // replayed in file order on the run's thread.
    struct Lane {
        ResultSink& results;
        RunHost& host;
        ResultRecorder* recorder = nullptr; // null: straight to the run
        FileScanner* scanner = nullptr;     // null while listing
        std::vector<ActivePair>* pairs = nullptr;
        DirectoryCursor* cursor = nullptr; // search runs: opens the files of one directory after another
    };

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
    bool prepareRun(Run& run);
    bool prepareReplace(Run& run);
    bool preparePairs(Run& run);
    // File number `k` of the list, `path`, one of `total` files found so far (`complete`:
    // the walk has ended, and they are all). `report` is written over (its storage is
    // reused from file to file).
    void processFile(Run& run, Lane& lane, size_t k, std::string_view path, size_t total, bool complete,
                     FileReport& report);
    // Matchers of their own for one scanning thread.
    static std::vector<ActivePair> activePairs(const std::vector<PreparedPair>& prepared);
    // A search run's files, then its archives, on `threads` workers, with the results in
    // list order.
    void searchInParallel(Run& run, size_t threads);
    // Carries out what a worker recorded; false when the run is to end.
    // Reused by every replayed event, so that replaying allocates nothing once warm.
    struct ReplayBuffers {
        ResultEntry line;
        std::string path, archivePath;
    };
    bool replay(Run& run, const RecordedBatch& batch, ReplayBuffers& buffers);
    // After a file or member: finishFile on the run's thread, or recorded for it.
    bool handOn(Run& run, Lane& lane, const FileReport& report);
    void countSearched(Lane& lane);
    void countError(Lane& lane);
    void countArchive(Lane& lane);
    // What follows a file's pairs (counts, stats lines, commit, flush); false ends the loop.
    bool finishFile(Run& run, const FileReport& report);
    // The archive phase of a search run, for archive number `index` of the list: its
    // members in order. False when the run is to end.
    bool searchArchive(Run& run, Lane& lane, size_t index);
    FileReport processMember(Run& run, Lane& lane, ArchiveReader& reader, const ArchiveMember& member,
                             const std::string& archivePath, const std::string& progressText);
    // Reads the members of one archive in order and hands those `selection` takes to
    // `visit`. A read error ends the archive with its error line. False when the run is
    // to end: a stop, or `visit` returned false.
    bool forEachSelectedMember(Lane& lane, const std::string& archivePath, ArchiveReader& reader,
                               MemberSelection& selection,
                               const std::function<bool(const ArchiveMember&)>& visit);
    // Listing: the selected members of every archive, from the archive's directory.
    bool listArchives(const SearchRequest& request, const std::vector<ArchiveTask>& archives);
    // The archives below the request's paths (the "ZIP Mask" walk, without date and size
    // filters); empty unless the request searches archives. Only used when the file list
    // comes from the cache: otherwise buildFileList finds them in its walk.
    std::vector<ArchiveTask> buildArchiveList(const SearchRequest& request);
    // Opens an archive for reading; reports and returns null when it cannot be read.
    std::unique_ptr<ArchiveReader> openArchive(Lane& lane, const std::string& path, bool quiet);
    // The archive phase's progress, as in "(%ld%% done)", while in the `opened`th archive.
    static long archivePercent(long archives, long opened, const ArchiveReader& reader);
    ScanOutcome applySpecialOperation(Run& run, ActivePair& pair, size_t pairIndex, File& input, FileState& file,
                                      File& output);
    bool decideFile(const Run& run, const FileReport& report);
    void commitFile(Run& run, const FileReport& report);
    void tallyPairs(Run& run, const FileReport& report);
    void addSummaries(Run& run, bool stopped);
    void endRun(Run& run);

    bool openOutputFile(const SearchRequest& request, const FileList& list);
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
    // "message" + the file name without directory, as a results line and a message.
    void reportFileError(const std::string& message, const std::string& path, bool quiet);
    void reportFileError(Lane& lane, const std::string& message, const std::string& path, bool quiet);
    void addSummary(const std::string& text);
    void closeOutput();

    RunHost& m_host;
    ResultSink& m_results;
    FileSystem& m_fs;
    std::atomic<bool> m_stop{true};    // set while idle and when a stop is requested
    std::atomic<bool> m_active{false}; // a run is in progress (see RunGuard)
    RunCounters m_counters;
    FileListCache m_cache;
    // The run's output file stands in for "Default Printer": the temporary file printed on
    // m_printer and deleted when the output is closed. Both empty otherwise.
    std::string m_printFile, m_printer;
};

// Builds the run heading written at the start of the output file.
std::string BuildRunHeading(const SearchRequest& request, const std::string& dateTime);

} // namespace tw
