#include "core/RunDriver.h"

#include "core/ArchiveMemberSource.h"
#include "core/ConfirmationState.h"
#include "core/ListWalk.h"
#include "core/OrderedPipeline.h"
#include "core/ResultRecorder.h"
#include "core/RecoveryList.h"
#include "core/ReplaceWriter.h"
#include "core/TextScan.h"
#include "core/PreparedPair.h"
#include "core/WholeFileOperations.h"
#include "engine/LiteralScan.h"
#include "engine/PatternScan.h"
#include "engine/ReplaceTokens.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "platform/PathText.h"
#include "select/DirectoryReadAhead.h"
#include "select/FileWalker.h"
#include "select/MemberSelection.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <iterator>
#include <limits>
#include <thread>

namespace tw {

namespace {

std::string format(const char* fmt, long a, long b = 0, long c = 0)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

const char* const kNoFilesTexts[] = {
    "No files were found using the specified parameters.  This could be due to one of the following reasons:",
    "- The path you entered may be invalid.  Please use the Browse (...) button next to the Path field to ensure the path is correct.",
    "- The file mask(s) you entered may be invalid.  You could try entering *.* to verify that.  Please note that the separator for multiple masks is ; and spaces are considered valid mask characters.",
    "- The filters you used (in Options) excluded all files in the search path(s).",
    "- If you want to Search Subdirectories, check the box provided in the Main Window.",
};

std::string nowText()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::strftime(buf, sizeof buf, "%x %X", &tm);
    return buf;
}

// The replace side of a run as the block scanner sees it: the current output, the
// confirmation state and the special operations.
class RunReplaceHooks final : public ReplaceHooks {
public:
    RunReplaceHooks(ConfirmationState& conf, RunHost& host, ResultStream& lines, HeldBackStore& held,
                    std::atomic<bool>& stop, bool quiet, bool oneHit, long& fileErrors)
        : m_conf(conf), m_host(host), m_lines(lines), m_held(held), m_stop(stop), m_quiet(quiet), m_oneHit(oneHit),
          m_fileErrors(fileErrors)
    {
    }
    void setOutput(File* out) { m_output = out; }

    File& output() override { return *m_output; }
    bool hitVisible() override { return !m_conf.skipRestOfFile(); }
    bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) override
    {
        if (!m_conf.hitNeedsAnswer())
            return m_conf.decideHit(m_host, {}, noHeldBackLines(), file.path);
        return m_conf.decideHit(m_host, buildHitQuestion(hitLine, replaceText, file.binary), m_held.heldBack(),
                                file.path);
    }
    void replaced() override
    {
        if (m_oneHit)
            m_conf.markOneHitReplaced();
    }
    void writeFailed(const FileState& file, bool whileWritingReplacement) override
    {
        ++m_fileErrors;
        reportFileError(m_lines, m_host, m_quiet,
                        whileWritingReplacement ? "Error writing replace string to temp file"
                                                : "Error writing to temp file",
                        file.path);
        m_stop.store(true);
    }

private:
    ConfirmationState& m_conf;
    RunHost& m_host;
    ResultStream& m_lines; // the error lines
    HeldBackStore& m_held; // the lines the per-hit question shows
    std::atomic<bool>& m_stop;
    bool m_quiet;
    bool m_oneHit;
    long& m_fileErrors; // the run's count of file error lines
    File* m_output = nullptr; // the temporary output of the current pair
};

} // namespace

std::string BuildRunHeading(const SearchRequest& request, const std::string& dateTime)
{
    const SearchPair* pair = request.pairs.empty() ? nullptr : &request.pairs.front();
    std::string h = dateTime + "\r\n";
    auto textOf = [](const std::string& text, const std::string& block) {
        return text == kBinaryPlaceholder ? block : text;
    };
    h += "Search String: " + (pair ? textOf(pair->searchText, pair->binarySearchBlock) : std::string()) + "\r\n";
    h += "Replace String: " + (pair ? textOf(pair->replaceText, pair->binaryReplaceBlock) : std::string()) + "\r\n";
    const PathMaskPair* pm = request.pathMasks.empty() ? nullptr : &request.pathMasks.front();
    h += "Path: " + displayName(pm ? pm->path : std::string()) + "\r\n";
    h += "File Mask: " + displayName(pm ? pm->mask : std::string()) + "\r\n";
    std::string flags;
    auto flag = [&](bool on, const char* name) {
        if (!on)
            return;
        if (!flags.empty())
            flags += ", ";
        flags += name;
    };
    flag(request.searchSubdirectories, "Search Subdirectories");
    flag(request.searchZips, "Search ZIP Files");
    flag(pair && pair->caseSensitive, "Case Sensitive");
    flag(pair && pair->wholeWord, "Whole Word Match");
    flag(pair && pair->regularExpression, "Regular Expression");
    flag(pair && pair->ignoreWhitespace, "Ignore Whitespace");
    h += flags + "\r\n";
    return h;
}

RunDriver::RunDriver(RunHost& host, ResultSink& results, FileSystem& fs)
    : m_host(host), m_results(results), m_fs(fs)
{
}

RunDriver::~RunDriver() = default;

std::string fileProgressText(long remaining, long percent)
{
    if (percent == kStillListing)
        return format("%ld files found so far", remaining);
    return format("%ld files to process (%ld%% done)", remaining, percent);
}

std::string byteProgressText(int64_t done)
{
    return format("%lld MB of this file searched", static_cast<long long>(done >> 20));
}

std::string fileTitleText(std::string_view path)
{
    std::string title = "TW32 - ";
    title += path;
    return title;
}

void RunHost::fileProgress(long remaining, long percent, std::string_view path)
{
    progress(fileProgressText(remaining, percent));
    title(fileTitleText(path));
}

bool namesDefaultPrinter(std::string_view outputFile)
{
    if (outputFile.size() != kDefaultPrinterName.size())
        return false;
    for (size_t i = 0; i < outputFile.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(outputFile[i])) !=
            std::tolower(static_cast<unsigned char>(kDefaultPrinterName[i])))
            return false;
    return true;
}

bool RunDriver::openOutputFile(const SearchRequest& request, const FileList& list)
{
    std::string name = request.options.outputFile;
    m_printFile.clear();
    m_printer.clear();
    if (namesDefaultPrinter(name)) {
        // The output goes to a temporary file that is printed when the run is over; without
        // a printer the name is an ordinary file name, and the user is told where it is.
        if (std::string printer = m_host.defaultPrinter(); printer.empty()) {
            m_host.message("No default printer is available: the results are written to the file " +
                               displayName(currentDirectory() + name),
                           request.quiet);
        } else if (std::unique_ptr<File> temp = m_fs.createTemp("TWP")) {
            name = temp->path();
            m_printFile = name;
            m_printer = std::move(printer);
        } else {
            reportFileError("Error writing to output file ", name, request.quiet);
            return false;
        }
    }
    if (m_results.openOutputFile(name, list.size(), [&](size_t i) { return std::string(list.at(i)); }))
        return true;
    if (!m_printFile.empty()) {
        m_fs.removeFile(m_printFile);
        m_printFile.clear();
        name = request.options.outputFile;
    }
    reportFileError("Error writing to output file ", name, request.quiet);
    return false;
}

namespace {

// `a` and `b` name the same file that writing one would destroy: by identity when both
// exist (a device, such as the null device, is never such a file), else as the same place
// once links, "." and ".." in the existing part are resolved.
bool sameTarget(FileSystem& fs, const std::string& a, const std::string& b)
{
    FileStatus sa, sb;
    const bool hasA = fs.status(a, &sa), hasB = fs.status(b, &sb);
    if (hasA || hasB)
        return hasA && hasB && sameFile(sa, sb) && sa.isRegular;
    std::error_code ea, eb;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ea);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, eb);
    return ea || eb ? a == b : ca.lexically_normal() == cb.lexically_normal();
}

} // namespace

bool RunDriver::refusesResultsPage(const SearchRequest& request, const FileList& list)
{
    const std::string& page = request.resultsPage;
    if (page.empty())
        return false;
    const std::string& output = request.options.outputFile;
    if (!isOneOfTheFiles(m_fs, page, list.size(), [&](size_t i) { return std::string(list.at(i)); }) &&
        (output.empty() || !sameTarget(m_fs, page, output)))
        return false;
    m_host.message("Error writing to output file " + displayName(baseName(page)), false);
    return true;
}

bool RunDriver::walksAlongside(const SearchRequest& request, size_t threads)
{
    // An output file or a results page must not be one of the files to process, which only
    // the whole list can tell: with one, the walk comes first.
    return threads > 1 && request.options.outputFile.empty() && request.resultsPage.empty();
}

WalkStats RunDriver::buildFileList(const SearchRequest& request, FileList& list, std::vector<StartPath>* starts,
                                    std::vector<ArchiveTask>* archives)
{
    ListWalk walk(m_fs, request, list, starts, archives, &m_stop, [this] { m_host.pump(); });
    walk.walkOn(SIZE_MAX);
    return walk.stats();
}

void RunDriver::reportFileError(const std::string& message, const std::string& path, bool quiet)
{
    Lane lane{m_results, m_host};
    reportFileError(lane, message, path, quiet);
}

void RunDriver::reportFileError(Lane& lane, const std::string& message, const std::string& path, bool quiet)
{
    // A results line (no file line in front) and the same text as a message.
    const std::string text = message + displayName(baseName(path));
    countError(lane);
    lane.results.addLine(ResultEntry::error(text, path));
    lane.host.message(text, quiet);
}

void RunDriver::countSearched(Lane& lane)
{
    if (lane.recorder)
        lane.recorder->fileSearched();
    else
        ++m_counters.filesSearched;
}

void RunDriver::countError(Lane& lane)
{
    if (lane.recorder)
        lane.recorder->fileError();
    else
        ++m_counters.fileErrors;
}

void RunDriver::countArchive(Lane& lane)
{
    if (lane.recorder)
        lane.recorder->archiveOpened();
    else
        ++m_counters.archivesDone;
}

bool RunDriver::handOn(Run& run, Lane& lane, const FileReport& report)
{
    if (!lane.recorder)
        return finishFile(run, report);
    lane.recorder->fileEnd(report);
    return !m_stop.load();
}

void RunDriver::closeOutput()
{
    m_results.closeOutputFile();
    if (!m_printFile.empty()) {
        m_host.printFile(m_printFile, m_printer);
        m_fs.removeFile(m_printFile);
        m_printFile.clear();
        m_printer.clear();
    }
}

void RunDriver::addSummary(const std::string& text)
{
    m_results.addLine(ResultEntry::summary(text));
}

WalkStats RunDriver::listWhileWalking(const SearchRequest& request, std::vector<ArchiveTask>* found,
                                      const std::function<bool(std::string_view, size_t, size_t, bool)>& listOne,
                                      bool* stopped)
{
    // A second thread walks while this one lists what it has found so far, in pieces.
    WalkStats walked;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<FileList> pieces; // found, not yet listed, in walk order
    size_t handedOver = 0;       // files put into `pieces` so far
    bool listed = false;         // the last piece is in `pieces`: handedOver is the total
    bool walkDone = false;
    std::exception_ptr failure;
    std::thread walker([&] {
        try {
            FileList current;
            ListWalk walk(m_fs, request, current, nullptr, found, &m_stop, nullptr);
            // Listing is mostly the kernel reading directories: the other threads
            // read those the walk comes to later.
            DirectoryReadAhead readAhead(m_fs, workerThreads(request.threads) - 1);
            walk.setReadAhead(&readAhead);
            for (bool more = true; more;) {
                more = walk.walkOn(std::clamp<size_t>(handedOver / 2, 64, 4096));
                std::lock_guard<std::mutex> lock(mutex);
                handedOver += current.size();
                pieces.push_back(std::move(current));
                current.clear();
                if (!more) {
                    walked = walk.stats();
                    listed = true;
                }
                wake.notify_one();
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        walkDone = true;
        wake.notify_one();
    });
    size_t i = 0;
    for (;;) {
        FileList piece;
        size_t known = 0;
        bool complete = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            while (pieces.empty() && !walkDone) {
                lock.unlock();
                m_host.pump();
                lock.lock();
                wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return !pieces.empty() || walkDone; });
            }
            if (pieces.empty())
                break;
            piece = std::move(pieces.front());
            pieces.pop_front();
            known = handedOver;
            complete = listed;
        }
        for (size_t k = 0; k < piece.size() && !*stopped; ++k, ++i)
            *stopped = !listOne(piece.at(k), i, known, complete);
        if (*stopped)
            break; // the stop flag also ends the walk
    }
    walker.join();
    if (failure)
        std::rethrow_exception(failure);
    return walked;
}

RunOutcome RunDriver::ListFilesOnly(const SearchRequest& request)
{
    if (m_active.load())
        return RunOutcome::NotRun;
    RunGuard guard(*this);
    m_counters = RunCounters{};
    std::vector<ArchiveTask> archives;
    std::vector<ArchiveTask>* const found = request.pathsFromScript ? nullptr : &archives;
    m_results.setHitTexts(request.options.beforeHit, request.options.afterHit);
    bool stopped = false;
    ResultEntry listed; // the line of the file at hand, reused
    // One listed file: `i` of the `known` found so far (`complete`: of all there are).
    auto listOne = [&](std::string_view path, size_t i, size_t known, bool complete) {
        m_host.pump();
        if (m_stop.load())
            return false;
        if (m_host.showsProgress())
            m_host.progress(complete ? fileProgressText(static_cast<long>(known - i), static_cast<long>(i * 100 / known))
                                     : fileProgressText(static_cast<long>(known), kStillListing));
        listed.setListedFile(path);
        m_results.addLine(listed);
        ++m_counters.filesListed;
        return true;
    };
    WalkStats walked;
    if (walksAlongside(request, workerThreads(request.threads))) {
        openOutputFile(request, FileList{});
        walked = listWhileWalking(request, found, listOne, &stopped);
    } else {
        FileList list;
        walked = buildFileList(request, list, nullptr, found);
        if (refusesResultsPage(request, list))
            return RunOutcome::NotRun;
        openOutputFile(request, list);
        const size_t n = list.size();
        for (size_t i = 0; i < n && !stopped; ++i)
            stopped = !listOne(list.at(i), i, n, true);
    }
    stopped = stopped || m_stop.load();
    if (!stopped && !request.pathsFromScript)
        stopped = !listArchives(request, archives) || m_stop.load();
    m_counters.directories = walked.directories;
    addSummary(format("Found %ld files in %ld directories", m_counters.filesListed, m_counters.directories));
    if (stopped)
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    closeOutput();
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

// Everything one Search or Replace run holds while it goes through its files. Made by
// ExecuteRun, alive until it returns.
struct RunDriver::Run {
    Run(RunDriver& d, SearchRequest& r)
        : request(r), opt(r.options), quiet(r.quiet), replace(r.replaceMode),
          writer(d.m_fs, realFileOps(), d.m_host, d.m_results, confirmation),
          hooks(confirmation, d.m_host, d.m_results, d.m_results, d.m_stop, r.quiet, r.options.stopAfterFirstHit,
                d.m_counters.fileErrors)
    {
    }

    SearchRequest& request;
    const ProgramOptions& opt;
    const bool quiet;
    const bool replace;
    FileList list;
    std::vector<StartPath> starts; // the start path of each part of `list`
    std::string pathKey, maskKey;  // the file-list cache's keys
    std::vector<PreparedPair> prepared; // per pair, in request order
    std::vector<ActivePair> pairs;      // per pair: prepared[i] made ready to scan
    ConfirmationState confirmation;
    ReplaceWriter writer;
    RunReplaceHooks hooks;
    ScanSettings scanSettings;
    std::unique_ptr<FileScanner> scanner;
    std::string backupPath;  // ends with "/" unless empty
    size_t startIndex = 0;   // the start path of the current file
    std::vector<ArchiveTask> archives; // search runs with "Search Zips": the archive phase's list
    size_t threads = 1; // worker threads of the search
    // A threaded search walks while it searches: the walk still to go, which the workers
    // carry on (one at a time) as they run short of files. Null when `list` was complete
    // before the search began.
    std::unique_ptr<ListWalk> walk;
};


bool RunDriver::prepareRun(Run& run)
{
    const ProgramOptions& opt = run.opt;
    if (run.replace && !run.quiet && opt.backupPath.empty() &&
        m_host.ask(Question::YesNo, "No backup directory was selected in Options\nDo you want to continue?") !=
            Answer::Yes)
        return false;

    // The file list (from the cache when nothing changed since it was built).
    for (const PathMaskPair& pm : run.request.pathMasks) {
        run.pathKey += pm.path + '\n';
        run.maskKey += pm.mask + '\n';
    }
    // A list built under other filters is not the list of this run.
    const DateSizeBounds bounds = ListWalk::filterBounds(opt);
    run.maskKey += std::to_string(bounds.earliest) + ' ' + std::to_string(bounds.latest) + ' ' +
                   std::to_string(bounds.smallest) + ' ' + std::to_string(bounds.largest) + '\n';
    if (opt.useIgnoreFiles)
        run.maskKey += "ignore files\n";
    // Replace runs never open archives (searchesArchives is false for them).
    run.threads = run.replace ? 1 : workerThreads(run.request.threads);
    if (opt.cacheFileList &&
        m_cache.tryReuse(run.maskKey, run.pathKey, run.request.searchSubdirectories, run.list, &run.starts))
        run.archives = buildArchiveList(run.request);
    else if (walksAlongside(run.request, run.threads))
        // The workers walk as they search.
        run.walk = std::make_unique<ListWalk>(m_fs, run.request, run.list, &run.starts, &run.archives, &m_stop,
                                              nullptr);
    else
        buildFileList(run.request, run.list, &run.starts, &run.archives);
    if (m_stop.load() || refusesResultsPage(run.request, run.list))
        return false;

    m_results.setHitTexts(opt.beforeHit, opt.afterHit);
    openOutputFile(run.request, run.list);
    if (m_results.hasOutputFile())
        m_results.writeToOutput(
            BuildRunHeading(run.request, run.request.startedText.empty() ? nowText() : run.request.startedText));

    run.confirmation.startRun(opt.promptMode);
    run.confirmation.setCancelHandler([this] { m_stop.store(true); });
    if (run.replace && !prepareReplace(run))
        return false;
    if (!preparePairs(run))
        return false;

    ScanSettings settings;
    settings.blockSize = run.request.blockSize;
    settings.maxDisplayChars = run.request.maxDisplayChars;
    settings.showHitLines = opt.showFirstHitLine;
    settings.displayReplaceString = opt.displayReplaceString;
    settings.stopAfterFirstHit = opt.stopAfterFirstHit;
    run.scanSettings = settings;
    run.scanner = std::make_unique<FileScanner>(settings, m_results, m_host, m_stop);
    run.backupPath = withTrailingSlash(opt.backupPath);
    return true;
}

bool RunDriver::prepareReplace(Run& run)
{
    // Replace keeps a copy of every file it rewrites, and the list of them, in the data
    // directory: a run that cannot write there replaces nothing and names the cause.
    int error = 0;
    const std::string dataDir = dataDirectory(&error);
    if (dataDir.empty()) {
        const std::string dir = dataDirectoryLocation();
        m_host.message(dataDirectoryFailure(dir, dir, error), false);
        return false;
    }
    // Another run that holds the recovery list's lock is in the middle of writing files;
    // wait a little for it rather than for ever. The lock is only tested here; the writer
    // takes it again while it writes.
    FileOps& ops = realFileOps();
    const std::string lockPath = dataDir + kRecoveryLockName;
    std::unique_ptr<FileLock> lock = ops.lockFile(lockPath, 0, &error);
    if (!lock && error == EWOULDBLOCK) {
        m_host.message("Waiting for another Tarnwick run to finish writing files...", false);
        lock = ops.lockFile(lockPath, kRecoveryLockWaitMs / 2, &error);
        if (!lock && error == EWOULDBLOCK) {
            m_host.message("Another Tarnwick run is still writing files; nothing was replaced. "
                           "Try again when it has finished.",
                           false);
            return false;
        }
    }
    const std::string problem =
        lock ? dataDirectoryUnwritable(m_fs, ops, dataDir) : dataDirectoryFailure(dataDir, lockPath, error);
    if (!problem.empty()) {
        m_host.message(problem, false);
        return false;
    }
    // Replace runs hold each file's lines back until the file is decided.
    if (!m_results.beginHoldBack()) {
        m_results.addLine(ResultEntry::error(kErrorOpeningTemp));
        ++m_counters.fileErrors;
        return false;
    }
    run.writer.startRun(run.opt, run.quiet, dataDir);
    // Originals are rewritten in batches that share their flushes to disk.
    run.writer.setBatchLimit(256);
    return run.writer.createTempFiles(run.request.pairs.size());
}

bool RunDriver::preparePairs(Run& run)
{
    // Once per pair and run. A pair that cannot be prepared ends the run before any file
    // is searched.
    const int maxRepeat = run.opt.maxRegexSize > 0 ? run.opt.maxRegexSize : 32767;
    for (const SearchPair& sp : run.request.pairs) {
        PreparedPair pp = preparePair(sp, maxRepeat, getEnvironmentVariable);
        if (!pp.usable()) {
            m_host.message(pp.error, run.quiet);
            return false;
        }
        run.prepared.push_back(std::move(pp));
    }
    run.pairs = activePairs(run.prepared);
    return true;
}

std::vector<ActivePair> RunDriver::activePairs(const std::vector<PreparedPair>& prepared)
{
    // Each scanning thread has matchers of its own over the shared read-only patterns.
    std::vector<ActivePair> out;
    for (const PreparedPair& pp : prepared) {
        ActivePair ap;
        ap.replaceText = pp.replaceBytes;
        ap.special = pp.special;
        ap.reformatColumns = pp.reformatColumns;
        if (ap.special == SpecialOp::None) {
            if (pp.regex)
                ap.matcher = std::make_unique<PatternScan>(*pp.pattern);
            else
                ap.matcher = std::make_unique<LiteralScan>(pp.searchBytes, pp.caseSensitive, pp.wholeWord);
        }
        out.push_back(std::move(ap));
    }
    return out;
}

void RunDriver::processFile(Run& run, Lane& lane, size_t k, std::string_view listed, size_t total,
                            bool complete, FileReport& report)
{
    std::vector<ActivePair>& pairs = *lane.pairs;
    report.reset(listed, pairs.size());
    FileState& file = report.state;
    const std::string& path = file.path;
    // The start path matters for the commit, which only runs on the run's own thread.
    while (!lane.recorder && run.startIndex + 1 < run.starts.size() && run.starts[run.startIndex + 1].firstIndex <= k)
        ++run.startIndex;
    lane.results.setPendingFile(path);
    countSearched(lane);
    if (run.replace && run.confirmation.onFileStart(path) == DirDecision::Skip) {
        report.fate = FileReport::Fate::Skipped;
        return;
    }
    if (lane.host.showsProgress())
        lane.host.fileProgress(complete ? static_cast<long>(total - k) : static_cast<long>(total),
                               complete ? static_cast<long>(k * 100 / total) : kStillListing, path);
    if (m_stop.load()) {
        report.fate = FileReport::Fate::NotReached;
        return;
    }

    // The status comes from the descriptor: it describes the very file that is read, and
    // the rewrite later checks that the name still leads to it unchanged.
    std::unique_ptr<File> in = m_fs.openReadNear(path, lane.cursor);
    if (!in || (run.replace && !in->status(&report.status))) {
        reportFileError(lane, "Error opening ", path, run.quiet);
        report.fate = FileReport::Fate::Failed;
        return;
    }
    if (run.replace)
        run.confirmation.onFileOpened();
    report.pairsRan = true;
    for (size_t pi = 0; pi < pairs.size(); ++pi) {
        ActivePair& pair = pairs[pi];
        const PreparedPair& pp = run.prepared[pi];
        if (pair.special == SpecialOp::None && !pp.regex &&
            (hasFileTokens(pp.searchBytes) || hasFileTokens(pp.replaceBytes))) {
            // Literal pairs whose texts name the file get them expanded per file.
            std::string search = pp.searchBytes;
            ExpandFileTokens(search, path);
            pair.replaceText = pp.replaceBytes;
            ExpandFileTokens(pair.replaceText, path);
            pair.matcher = std::make_unique<LiteralScan>(search, pp.caseSensitive, pp.wholeWord);
        }
        File* input = in.get();
        if (run.replace) {
            // Temporary files alternate: even pairs write the first, odd pairs the second,
            // and every pair after the first reads what the one before wrote.
            report.output = run.writer.tempFile(static_cast<int>(pi % 2));
            if (pi > 0)
                input = run.writer.tempFile(static_cast<int>((pi + 1) % 2));
            if (!report.output->seek(0) || !report.output->truncate(0)) {
                run.hooks.writeFailed(file, false);
                break;
            }
            run.hooks.setOutput(report.output);
        } else if (pair.special != SpecialOp::None || (!pp.regex && pp.searchBytes.empty())) {
            continue; // nothing to search for
        }
        if (!input->seek(0)) {
            reportFileError(lane, "Error seeking in file ", path, run.quiet);
            report.fate = FileReport::Fate::Failed;
            break;
        }
        FileSource source(*input);
        TextScan text(source, run.opt.detectUtf16, file, run.replace ? &run.hooks : nullptr);
        const ScanOutcome outcome =
            pair.special != SpecialOp::None
                ? applySpecialOperation(run, pair, pi, *input, file, *report.output)
                : text.finish(lane.scanner->scan(text.source(), pair, pi, file, pi == 0, text.hooks()));
        if (text.unwritable()) {
            reportFileError(lane, kUtf16UnwritableText, path, run.quiet);
            report.fate = FileReport::Fate::Failed;
            break;
        }
        if (outcome == ScanOutcome::ReadError) {
            lane.results.addLine(ResultEntry::error("Error reading file " + path, path));
            countError(lane);
        }
        if (outcome == ScanOutcome::ReadError || outcome == ScanOutcome::Abandoned) {
            report.fate = FileReport::Fate::Failed;
            break;
        }
        if (outcome == ScanOutcome::Stopped || m_stop.load())
            break;
        if (!run.replace && run.opt.stopAfterFirstHit && file.totals().hits > 0)
            break;
    }
}

ScanOutcome RunDriver::applySpecialOperation(Run& run, ActivePair& pair, size_t pairIndex, File& input,
                                             FileState& file, File& output)
{
    // Prepend and reformat act before the input is copied, append after it. A special
    // operation that was performed counts as one hit and one replacement of its pair.
    SpecialContext ctx{run.confirmation, m_host, m_results, run.quiet, file.path};
    auto account = [&](const SpecialOutcome& o) {
        switch (o.result) {
        case SpecialResult::Declined:
            return m_stop.load() ? ScanOutcome::Stopped : ScanOutcome::Done;
        case SpecialResult::WriteFailed: // reported by the operation
            ++m_counters.fileErrors;
            m_stop.store(true);
            return ScanOutcome::Stopped;
        case SpecialResult::ReadFailed: // reported by the operation; the file is abandoned
            ++m_counters.fileErrors;
            return ScanOutcome::Abandoned;
        case SpecialResult::Performed:
            break;
        }
        file.countHit(pairIndex);
        file.countReplacement(pairIndex);
        file.sizeChange += o.sizeChange;
        return ScanOutcome::Done;
    };
    FileSource source(input);
    auto copyInput = [&] {
        const ScanOutcome o = run.scanner->copy(source, output);
        if (o == ScanOutcome::WriteFailed)
            run.hooks.writeFailed(file, false);
        return o == ScanOutcome::WriteFailed ? ScanOutcome::Stopped : o;
    };
    switch (pair.special) {
    case SpecialOp::Reformat: {
        const SpecialOutcome o = reformatFile(ctx, input, output, pair.reformatColumns);
        if (o.result == SpecialResult::Performed)
            file.reformatted = true;
        const ScanOutcome step = account(o);
        if (o.result != SpecialResult::Declined || step != ScanOutcome::Done)
            return step;
        return input.seek(0) ? copyInput() : ScanOutcome::ReadError;
    }
    case SpecialOp::Prepend: {
        const ScanOutcome step = account(prependReplaceText(ctx, output, pair.replaceText));
        return step != ScanOutcome::Done ? step : copyInput();
    }
    case SpecialOp::Append: {
        const ScanOutcome step = copyInput();
        if (step != ScanOutcome::Done || run.confirmation.skipRestOfFile())
            return step;
        return account(appendReplaceText(ctx, output, pair.replaceText));
    }
    case SpecialOp::None:
        break;
    }
    return ScanOutcome::Done;
}

bool RunDriver::decideFile(const Run& /*run*/, const FileReport& report)
{
    // Whether a scanned file's outcome is kept. Every scanned file is kept today; a
    // script's expression will filter here.
    return report.fate == FileReport::Fate::Scanned;
}

void RunDriver::commitFile(Run& run, const FileReport& report)
{
    const FileState& file = report.state;
    const long replacements = file.totals().replacements;
    if (!run.replace || replacements == 0 || !report.output)
        return;
    CommitInput ci;
    ci.path = file.path;
    ci.startPath = run.starts.empty() ? directoryOf(file.path) : run.starts[run.startIndex].directory;
    ci.backupDir = run.backupPath;
    ci.status = report.status;
    ci.output = report.output;
    ci.replacements = replacements;
    ci.sizeChange = file.sizeChange;
    ci.reformatted = file.reformatted;
    // A failure has been reported and counted by the writer; a cancelled question stops
    // the run through the confirmation's cancel handler.
    if (run.writer.CommitFile(ci) != CommitResult::Replaced && run.confirmation.cancelled())
        m_stop.store(true);
}

void RunDriver::tallyPairs(Run& run, const FileReport& report)
{
    if (!run.request.pairsFromScript || !report.pairsRan)
        return;
    for (size_t pi = 0; pi < run.pairs.size(); ++pi) {
        SearchPair& sp = run.request.pairs[pi];
        const PairCounts& c = report.state.pairCounts[pi];
        sp.hitsInFile = c.hits;
        sp.replacementsInFile = c.replacements;
        sp.totalHits += c.hits;
        sp.totalReplacements += c.replacements;
        sp.filesWithHits += c.hits > 0 ? 1 : 0;
    }
}

void RunDriver::addSummaries(Run& run, bool stopped)
{
    const ProgramOptions& opt = run.opt;
    // The list is not used after this point: the cache takes it over.
    if (!stopped && opt.cacheFileList && (!run.walk || run.walk->finished()))
        m_cache.store(run.maskKey, run.pathKey, run.request.searchSubdirectories, std::move(run.list), run.starts);
    addSummary(format("Searched %ld file(s), found %ld occurrences in %ld file(s)", m_counters.filesSearched,
                      m_counters.totalHits, m_counters.filesWithHits));
    if (run.replace) {
        if (run.writer.flushRewrites() != CommitResult::Replaced && run.confirmation.cancelled())
            m_stop.store(true);
        m_counters.replacements = run.writer.replacements();
        m_counters.filesReplaced = run.writer.filesReplaced();
        addSummary(format("Replaced %ld occurrences in %ld file(s)", m_counters.replacements, m_counters.filesReplaced));
        if (m_counters.filesReplaced > 0 && opt.writeToBackupDir && !run.quiet)
            m_host.message("Replaced files were written to the backup directory as specified in Options!\n"
                           "To replace in original files, uncheck Write Files to Backup Dir in Replace Options.",
                           run.quiet);
    }
    if (m_counters.filesSearched == 0)
        m_host.noFilesFound(std::vector<std::string>(std::begin(kNoFilesTexts), std::end(kNoFilesTexts)), run.quiet);
    if (run.replace)
        m_results.endHoldBack();
    if (run.request.pairsFromScript && opt.displayFileStats)
        for (const SearchPair& sp : run.request.pairs)
            m_results.addLine(ResultEntry::pairSummary(
                sp.searchText + " - " +
                format("Searched %ld file(s), found %ld occurrences in %ld file(s)", m_counters.filesSearched,
                       sp.totalHits, sp.filesWithHits)));
    if (stopped) {
        m_cache.clear();
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    }
}

void RunDriver::endRun(Run& run)
{
    if (run.replace) {
        m_results.endHoldBack();
        run.writer.releaseTempFiles();
        run.writer.endRun();
        m_counters.fileErrors += run.writer.errorLines();
    }
    closeOutput();
    m_host.progress("");
}

bool RunDriver::finishFile(Run& run, const FileReport& report)
{
    tallyPairs(run, report);
    if (report.fate == FileReport::Fate::Skipped)
        return true;
    if (report.fate == FileReport::Fate::NotReached)
        return false;
    if (report.fate == FileReport::Fate::Failed) {
        if (run.replace)
            m_results.flushHeldBack();
        return true;
    }
    const FileState& file = report.state;
    const long hits = file.totals().hits;
    m_counters.totalHits += hits;
    if (hits > 0) {
        if (run.opt.displayFileStats)
            m_results.addResultLines(ResultEntry::count(format("Found %ld occurrences.", hits), file.path));
        ++m_counters.filesWithHits;
    }
    if (m_stop.load()) {
        if (run.replace)
            m_results.flushHeldBack();
        return false;
    }
    if (hits == 0 && run.opt.showFilesWithoutHits)
        m_results.addResultLines(ResultEntry::count("No occurrences found!", file.path));
    if (decideFile(run, report))
        commitFile(run, report);
    if (run.replace)
        m_results.flushHeldBack();
    return true;
}

size_t RunDriver::workerThreads(size_t requested)
{
    if (requested == 0)
        requested = std::max(1u, std::thread::hardware_concurrency());
    return std::min<size_t>(requested, kMaxThreads);
}

// A search thread: a recorder for what its files produce, a scanner and matchers of its own.
struct RunDriver::Worker {
    ResultRecorder recorder;
    std::unique_ptr<FileScanner> scanner;
    std::vector<ActivePair> pairs;
    FileReport report; // the file at hand; copied into the recorder's batch when it is done
    // Made, used and released on the worker's own thread, which has its own descriptors.
    std::unique_ptr<DirectoryCursor> cursor;
};

void RunDriver::searchInParallel(Run& run, size_t threads)
{
    // The files (then the archives) are tasks in list order. Workers scan them and record
    // what each produces; this thread replays the records in list order and does every
    // step that follows a file (counts, summary lines, decision), so the results are those
    // of the same run on one thread.
    std::vector<std::unique_ptr<Worker>> workers;
    for (size_t i = 0; i < threads; ++i) {
        auto w = std::make_unique<Worker>();
        w->scanner = std::make_unique<FileScanner>(run.scanSettings, w->recorder, w->recorder, m_stop);
        w->pairs = activePairs(run.prepared);
        w->recorder.setShowsProgress(m_host.showsProgress());
        w->recorder.setLiveHost(&m_host);
        workers.push_back(std::move(w));
    }
    // A task is a group of consecutive files, or one archive. Tasks are cut from the list
    // as it is found: all at once when it is complete, otherwise by the workers as they
    // walk on (the feeder runs on one worker at a time). A task keeps the paths of its
    // files, so no worker reads the list while it grows. Consecutive files go together so
    // that a tree of small files costs a hand-over per group rather than per file; groups
    // stay small enough to share the work out evenly.
    struct Task {
        size_t first = 0;            // list index of the first file
        size_t total = 0;            // files found when the task was cut (for progress)
        bool complete = false;       // the walk had ended then: `total` is every file
        size_t archive = SIZE_MAX;   // an archive task: its index in run.archives
        FileList files;
    };
    std::deque<Task> tasks;  // elements never move once added
    std::mutex tasksMutex;   // guards the container (not the tasks, which never change)
    size_t cut = 0;          // the list's files already in tasks
    bool archivesCut = false;
    auto cutTasks = [&](size_t from, size_t to, size_t group, bool complete) {
        for (size_t k = from; k < to; k += group) {
            Task t;
            t.first = k;
            t.total = to;
            t.complete = complete;
            for (size_t i = k; i < std::min(to, k + group); ++i)
                t.files.add(run.list.at(i));
            std::lock_guard<std::mutex> lock(tasksMutex);
            tasks.push_back(std::move(t));
        }
    };
    auto feed = [&](bool* more) {
        // Small walk pieces first, so that the workers start at once, then larger ones
        // (up to 256 files a thread) as the list grows.
        const size_t piece = std::clamp<size_t>(run.list.size() / 2, 32, 256 * threads);
        const bool walking = run.walk && run.walk->walkOn(piece);
        const size_t listed = run.list.size();
        const size_t fresh = listed - cut;
        cutTasks(cut, listed, std::clamp<size_t>(fresh / (threads * (run.walk ? 4 : 64)), 1, 64), !walking);
        cut = listed;
        if (!walking && !archivesCut) {
            archivesCut = true;
            for (size_t a = 0; a < run.archives.size(); ++a) {
                Task t;
                t.archive = a;
                std::lock_guard<std::mutex> lock(tasksMutex);
                tasks.push_back(std::move(t));
            }
        }
        *more = walking;
        std::lock_guard<std::mutex> lock(tasksMutex);
        return tasks.size();
    };
    auto produce = [&](size_t worker, size_t task, TaskOutput& out) {
        const Task* t = nullptr;
        {
            std::lock_guard<std::mutex> lock(tasksMutex);
            t = &tasks[task];
        }
        // A worker opens, reads and closes its own files and releases its cursor before it
        // ends (below), so it can keep its descriptors to itself.
        Worker& w = *workers[worker];
        if (!w.cursor) {
            m_fs.ownDescriptorsForThisThread();
            w.cursor = m_fs.newDirectoryCursor();
        }
        w.recorder.setOutput(&out);
        Lane lane{w.recorder, w.recorder, &w.recorder, w.scanner.get(), &w.pairs, w.cursor.get()};
        if (t->archive == SIZE_MAX) {
            for (size_t i = 0; i < t->files.size() && !m_stop.load(); ++i) {
                processFile(run, lane, t->first + i, t->files.at(i), t->total, t->complete, w.report);
                w.recorder.fileEnd(w.report);
            }
        } else {
            searchArchive(run, lane, t->archive);
        }
        w.recorder.setOutput(nullptr);
    };
    ReplayBuffers buffers;
    auto consume = [&](RecordedBatch& batch) { return replay(run, batch, buffers); };
    OrderedPipeline pipeline(threads, std::max<size_t>(4 * threads, 16));
    pipeline.setWorkerEnd([&](size_t worker) { workers[worker]->cursor.reset(); });
    pipeline.run(feed, 2 * threads, produce, consume, [this] { m_host.pump(); }, &m_stop);
}

bool RunDriver::replay(Run& run, const RecordedBatch& batch, ReplayBuffers& buffers)
{
    ResultEntry& line = buffers.line;
    using Op = RecordedBatch::Op;
    for (const RecordedBatch::Event& ev : batch.events) {
        switch (ev.op) {
        case Op::PendingFile:
            buffers.path.assign(batch.view(ev.text));
            buffers.archivePath.assign(batch.view(ev.path));
            m_results.setPendingFile(buffers.path, buffers.archivePath);
            break;
        case Op::EmitPending:
            m_results.emitPendingFileLine();
            break;
        case Op::Line:
            batch.entryOf(ev, line);
            m_results.addLine(line);
            break;
        case Op::Message:
            m_host.message(std::string(batch.view(ev.text)), ev.flag);
            break;
        case Op::Progress:
            m_host.progress(std::string(batch.view(ev.text)));
            break;
        case Op::Title:
            m_host.title(std::string(batch.view(ev.text)));
            break;
        case Op::FileProgress:
            m_host.fileProgress(static_cast<long>(ev.lineNumber), ev.fileOffset, batch.view(ev.text));
            break;
        case Op::FileSearched:
            ++m_counters.filesSearched;
            break;
        case Op::FileError:
            ++m_counters.fileErrors;
            break;
        case Op::ArchiveOpened:
            ++m_counters.archivesDone;
            break;
        case Op::FileEnd:
            m_host.pump();
            if (!finishFile(run, batch.reports[ev.index]))
                return false;
            break;
        }
    }
    return true;
}

RunOutcome RunDriver::ExecuteRun(SearchRequest& request)
{
    if (m_active.load())
        return RunOutcome::NotRun; // one run at a time, also from inside the host's pump()
    RunGuard guard(*this);
    m_counters = RunCounters{};
    m_host.progress("");

    Run run(*this, request);
    // The clean-up runs on every way out, exceptions included.
    struct EndRun {
        RunDriver& driver;
        Run& run;
        ~EndRun() { driver.endRun(run); }
    } end{*this, run};

    if (!prepareRun(run)) {
        if (!m_stop.load())
            return RunOutcome::NotRun;
        m_cache.clear();
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
        return RunOutcome::Stopped;
    }

    // Replace runs stay on this thread: their questions, commits, backups and undo lines
    // go in file order, and a question is asked while its file is being scanned.
    const size_t tasks = run.list.size() + run.archives.size();
    const size_t threads = run.walk ? run.threads : std::min(run.threads, tasks);
    if (threads > 1) {
        searchInParallel(run, threads);
    } else {
        std::unique_ptr<DirectoryCursor> cursor = run.replace ? nullptr : m_fs.newDirectoryCursor();
        Lane lane{m_results, m_host, nullptr, run.scanner.get(), &run.pairs, cursor.get()};
        bool goOn = true;
        FileReport report;
        for (size_t k = 0; goOn && k < run.list.size(); ++k) {
            processFile(run, lane, k, run.list.at(k), run.list.size(), true, report);
            goOn = finishFile(run, report);
        }
        for (size_t a = 0; goOn && a < run.archives.size(); ++a)
            goOn = searchArchive(run, lane, a);
    }

    const bool stopped = m_stop.load();
    addSummaries(run, stopped);
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

// ---- Archives -----------------------------------------------------------------------
// Members are read straight from the archive into the scan (ArchiveMemberSource): no
// member is ever written to disk, so no scratch tree exists and a hostile member name
// ("../x", "/etc/passwd", links) can only be shown, never followed or created.

namespace {

const char* const kZipProgress = "Processing ZIP files, %ld files left (%ld%% done)";
const char* const kZipExtracting = "Processing ZIP file - extracting";

// "archive | member" as it reads in a window title or an error line.
std::string memberText(const std::string& archivePath, const std::string& member)
{
    return displayName(archivePath) + " | " + displayName(member);
}

// The most a member of an archive of `archiveSize` bytes may expand to: a sparse tar
// member of a few kilobytes can claim a petabyte, and a compressed one can hold far more
// than it costs, so each member is bounded in bytes and as a multiple of its archive.
int64_t memberLimit(const ProgramOptions& o, int64_t archiveSize)
{
    constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
    int64_t limit = o.maxMemberBytes > 0 ? o.maxMemberBytes : kNone;
    if (o.maxMemberRatio > 0) {
        const int64_t size = std::max<int64_t>(archiveSize, 1);
        limit = std::min(limit, size > kNone / o.maxMemberRatio ? kNone : size * o.maxMemberRatio);
    }
    return limit;
}

std::string oversizedText(const std::string& archivePath, const std::string& member, int64_t limit)
{
    return "Skipped oversized file " + memberText(archivePath, member) + " (expands beyond " +
           std::to_string(limit) + " bytes)";
}

} // namespace

std::vector<ArchiveTask> RunDriver::buildArchiveList(const SearchRequest& request)
{
    std::vector<ArchiveTask> out;
    if (!ListWalk::searchesArchives(request))
        return out;
    // A walk with the archive masks alone, when the file list came from the cache.
    FileWalker walker(m_fs);
    walker.setPump([this] { m_host.pump(); });
    walker.setStopFlag(&m_stop);
    ListWalk::addIgnoreFilter(walker, m_fs, request.options);
    FileList found;
    for (const PathMaskPair& pm : request.pathMasks) {
        found.clear();
        walker.build(pm.path, request.zipMask, request.searchSubdirectories, found, nullptr);
        ListWalk::addArchiveTasks(request, pm, found, &out);
    }
    return out;
}

std::unique_ptr<ArchiveReader> RunDriver::openArchive(Lane& lane, const std::string& path, bool quiet)
{
    // openRead refuses links and anything but a regular file (a FIFO or device named
    // "x.zip" is never read, so it cannot block the run).
    std::unique_ptr<File> file = m_fs.openRead(path);
    if (!file) {
        reportFileError(lane, "Error opening ", path, quiet);
        return nullptr;
    }
    std::string why;
    std::unique_ptr<ArchiveReader> reader = ArchiveReader::open(std::move(file), &why);
    if (!reader) {
        lane.results.addLine(
            ResultEntry::error("Error reading file " + displayName(path) + ": " + displayName(why), path));
        countError(lane);
    }
    return reader;
}

long RunDriver::archivePercent(long archives, long opened, const ArchiveReader& reader)
{
    // Each archive weighs the same; within one, the share of the archive file read so far
    // stands in for the share of its members done (a compressed tar tells its member count
    // only at its end).
    const long within = static_cast<long>(reader.fractionRead() * 100);
    return within / archives + (opened * 100 - 100) / archives;
}

bool RunDriver::searchArchive(Run& run, Lane& lane, size_t index)
{
    const ArchiveTask& task = run.archives[index];
    const long count = static_cast<long>(run.archives.size());
    const long opened = static_cast<long>(index) + 1; // archives opened with this one
    if (m_stop.load())
        return false;
    lane.host.progress(kZipExtracting);
    countArchive(lane);
    lane.host.title(fileTitleText(displayName(task.path)));
    std::unique_ptr<ArchiveReader> reader = openArchive(lane, task.path, run.quiet);
    if (!reader)
        return true;
    MemberSelection selection(task.memberMask, ListWalk::filterBounds(run.opt));
    return forEachSelectedMember(lane, task.path, *reader, selection, [&](const ArchiveMember& member) {
        const std::string progressText = format(kZipProgress, count - opened + 1, archivePercent(count, opened, *reader));
        return handOn(run, lane, processMember(run, lane, *reader, member, task.path, progressText));
    });
}

bool RunDriver::forEachSelectedMember(Lane& lane, const std::string& archivePath, ArchiveReader& reader,
                                      MemberSelection& selection,
                                      const std::function<bool(const ArchiveMember&)>& visit)
{
    ArchiveMember member;
    for (;;) {
        lane.host.pump();
        if (m_stop.load())
            return false;
        const ArchiveReader::Step step = reader.next(&member);
        if (step == ArchiveReader::Step::End)
            return true;
        if (step == ArchiveReader::Step::Error) {
            lane.results.addLine(ResultEntry::error("Error reading file " + displayName(archivePath) + ": " +
                                                        displayName(reader.errorText()),
                                                    archivePath));
            countError(lane);
            return true;
        }
        if (!selection.selects(member))
            continue;
        if (!visit(member))
            return false;
        if (!reader.recoverable())
            return true; // its error line is out; the archive cannot be read further
    }
}

FileReport RunDriver::processMember(Run& run, Lane& lane, ArchiveReader& reader, const ArchiveMember& member,
                                               const std::string& archivePath, const std::string& progressText)
{
    FileReport report;
    FileState& file = report.state;
    file.path = member.name;
    file.archivePath = archivePath;
    file.pairCounts.assign((*lane.pairs).size(), PairCounts{});
    if (member.encrypted) {
        // Its data cannot be read without a password; it is named, and not searched.
        lane.results.addLine(ResultEntry::error("Skipped encrypted file " + memberText(archivePath, member.name),
                                             archivePath));
        countError(lane);
        report.fate = FileReport::Fate::Skipped;
        return report;
    }
    const int64_t limit = memberLimit(run.opt, reader.archiveSize());
    if (member.sizeKnown && member.size > limit) {
        // Reading it would take hours (or fill the disk of whoever unpacks it): it is
        // named, and not searched.
        lane.results.addLine(ResultEntry::error(oversizedText(archivePath, member.name, limit), archivePath));
        countError(lane);
        report.fate = FileReport::Fate::Skipped;
        return report;
    }
    lane.results.setPendingFile(member.name, archivePath);
    countSearched(lane);
    lane.host.progress(progressText);
    lane.host.title(fileTitleText(memberText(archivePath, member.name)));
    if (m_stop.load()) {
        report.fate = FileReport::Fate::NotReached;
        return report;
    }
    report.pairsRan = true;
    // The first pair reads the member where the reader stands; every later pair reads it
    // again from a reader of its own, opened on the archive and moved to the same member.
    std::unique_ptr<ArchiveReader> again;
    for (size_t pi = 0; pi < (*lane.pairs).size(); ++pi) {
        ActivePair& pair = (*lane.pairs)[pi];
        const PreparedPair& pp = run.prepared[pi];
        if (pair.special != SpecialOp::None || (!pp.regex && pp.searchBytes.empty()))
            continue; // nothing to search for
        if (!pp.regex && (hasFileTokens(pp.searchBytes) || hasFileTokens(pp.replaceBytes))) {
            std::string search = pp.searchBytes;
            ExpandFileTokens(search, member.name);
            pair.replaceText = pp.replaceBytes;
            ExpandFileTokens(pair.replaceText, member.name);
            pair.matcher = std::make_unique<LiteralScan>(search, pp.caseSensitive, pp.wholeWord);
        }
        ArchiveReader* from = &reader;
        if (pi > 0) {
            std::string why;
            again = ArchiveReader::open(m_fs.openRead(archivePath), &why);
            ArchiveMember m;
            while (again && again->next(&m) == ArchiveReader::Step::Member && m.index < member.index) {
            }
            if (!again || m.index != member.index) {
                lane.results.addLine(ResultEntry::error("Error reading file " + memberText(archivePath, member.name),
                                                     archivePath));
                countError(lane);
                report.fate = FileReport::Fate::Failed;
                break;
            }
            from = again.get();
        }
        ArchiveMemberSource memberData(*from, limit);
        DecodingSource source(memberData, run.opt.detectUtf16);
        const ScanOutcome outcome = lane.scanner->scan(source, pair, pi, file, pi == 0, nullptr);
        if (outcome == ScanOutcome::ReadError) {
            // A member whose header understated its size is cut off at the limit.
            lane.results.addLine(ResultEntry::error(
                memberData.overLimit() ? oversizedText(archivePath, member.name, limit)
                                       : "Error reading file " + memberText(archivePath, member.name) + ": " +
                                             displayName(from->errorText()),
                archivePath));
            countError(lane);
            report.fate = FileReport::Fate::Failed;
            break;
        }
        if (outcome == ScanOutcome::Stopped || m_stop.load())
            break;
        if (run.opt.stopAfterFirstHit && file.totals().hits > 0)
            break;
    }
    return report;
}

bool RunDriver::listArchives(const SearchRequest& request, const std::vector<ArchiveTask>& archives)
{
    // Members are listed from the archive's directory; their data is never read.
    const long count = static_cast<long>(archives.size());
    const DateSizeBounds bounds = ListWalk::filterBounds(request.options);
    Lane lane{m_results, m_host};
    for (const ArchiveTask& task : archives) {
        if (m_stop.load())
            return false;
        ++m_counters.archivesDone;
        std::unique_ptr<ArchiveReader> reader = openArchive(lane, task.path, request.quiet);
        if (!reader)
            continue;
        MemberSelection selection(task.memberMask, bounds);
        const long opened = m_counters.archivesDone;
        const bool goOn = forEachSelectedMember(lane, task.path, *reader, selection, [&](const ArchiveMember& member) {
            m_host.progress(format(kZipProgress, count - opened + 1, archivePercent(count, opened, *reader)));
            // A listed member's path reads ".zip/" and its path inside the archive.
            m_results.addLine(ResultEntry::listedFile(".zip/" + member.name, task.path));
            ++m_counters.filesListed;
            return true;
        });
        if (!goOn)
            return false;
    }
    return true;
}

} // namespace tw
