#include "core/RunDriver.h"

#include "core/FileSearch.h"
#include "core/ListWalk.h"
#include "core/ParallelSearch.h"
#include "core/RunLedger.h"
#include "core/RunPlan.h"
#include "platform/Environment.h"
#include "platform/PathText.h"
#include "select/DirectoryReadAhead.h"
#include "select/FileWalker.h"
#include "select/MemberSelection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tw {

RunDriver::RunDriver(RunHost& host, ResultSink& results, FileSystem& fs)
    : m_host(host), m_results(results), m_fs(fs)
{
}

RunDriver::~RunDriver() = default;

Lane RunDriver::straightLane(RunLedger* ledger)
{
    return Lane{m_results, m_host, nullptr, &m_counters, ledger};
}

void RunDriver::outputFileError(const std::string& name, bool quiet)
{
    straightLane(nullptr).fileError(fileErrorText("Error writing to output file ", displayName(baseName(name))), name,
                                    true, quiet);
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
            outputFileError(name, request.quiet);
            return false;
        }
    }
    FileList::IndexReader read(list);
    if (m_results.openOutputFile(name, list.size(), read))
        return true;
    if (!m_printFile.empty()) {
        m_fs.removeFile(m_printFile);
        m_printFile.clear();
        name = request.options.outputFile;
    }
    outputFileError(name, request.quiet);
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
    if (!isOneOfTheFiles(m_fs, page, list.size(), FileList::IndexReader(list)) &&
        (output.empty() || !sameTarget(m_fs, page, output)))
        return false;
    m_host.message("Error writing to output file " + displayName(baseName(page)), false);
    return true;
}

bool RunDriver::walksAlongside(const SearchRequest& request, size_t threads)
{
    // An output file or a results page must not be one of the files to process, which only
    // the whole list can tell: with one, the walk comes first. A replace run writes files
    // (backups, copies in a backup directory that may lie in the tree) that its own walk
    // must not find, so its list is complete before the first file is written.
    return threads > 1 && !request.replaceMode && request.options.outputFile.empty() && request.resultsPage.empty();
}

WalkStats RunDriver::buildFileList(const SearchRequest& request, FileList& list, std::vector<StartPath>* starts,
                                    std::vector<ArchiveTask>* archives)
{
    ListWalk walk(m_fs, request, list, starts, archives, &m_stop, [this] { m_host.pump(); });
    walk.walkOn(SIZE_MAX);
    return walk.stats();
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
        for (FileList::Cursor files(piece); !files.atEnd() && !*stopped; ++i)
            *stopped = !listOne(files.next(), i, known, complete);
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
        for (FileList::Cursor files(list); !files.atEnd() && !stopped;) {
            const size_t i = files.index();
            stopped = !listOne(files.next(), i, n, true);
        }
    }
    stopped = stopped || m_stop.load();
    if (!stopped && !request.pathsFromScript)
        stopped = !listArchives(request, archives) || m_stop.load();
    m_counters.directories = walked.directories;
    m_results.addLine(ResultEntry::summary(
        formatText("Found %ld files in %ld directories", m_counters.filesListed, m_counters.directories)));
    if (stopped)
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    closeOutput();
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

bool RunDriver::prepareFileList(RunPlan& run)
{
    const ProgramOptions& opt = run.opt;
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
    run.keepList = opt.cacheFileList && m_keepsListForNextRun;
    // Replace runs never open archives (searchesArchives is false for them). A replace run
    // that may ask questions stays on this thread: a question is asked while its file is
    // scanned, and its answer steers the files after it. So does a preview, whose spans
    // belong to the one search that records them.
    run.threads = run.replace && (run.opt.promptMode != ConfirmationState::kNoPrompts || run.request.preview)
                      ? 1
                      : workerThreads(run.request.threads);
    if (opt.cacheFileList &&
        m_cache.tryReuse(run.maskKey, run.pathKey, run.request.searchSubdirectories, run.list, &run.starts))
        run.archives = buildArchiveList(run.request);
    else if (walksAlongside(run.request, run.threads))
        // The workers walk as they search.
        run.walk = std::make_unique<ListWalk>(m_fs, run.request, run.list, &run.starts, &run.archives, &m_stop,
                                              nullptr);
    else
        buildFileList(run.request, run.list, &run.starts, &run.archives);
    return !m_stop.load() && !refusesResultsPage(run.request, run.list);
}

bool RunDriver::prepareRun(RunPlan& run, RunLedger& ledger)
{
    const ProgramOptions& opt = run.opt;
    // A preview writes nothing, so it needs no backup either.
    if (run.replace && !run.quiet && !run.request.preview && opt.backupPath.empty() &&
        m_host.ask(Question::YesNo, "No backup directory was selected in Options\nDo you want to continue?") !=
            Answer::Yes)
        return false;
    if (!ledger.prepareExpression())
        return false;

    if (!prepareFileList(run))
        return false;

    m_results.setHitTexts(opt.beforeHit, opt.afterHit);
    openOutputFile(run.request, run.list);
    if (m_results.hasOutputFile())
        m_results.writeToOutput(
            buildRunHeading(run.request, run.request.startedText.empty() ? nowText() : run.request.startedText));

    if (run.replace ? !ledger.prepareReplace() : !ledger.prepareSearch())
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
    run.backupPath = withTrailingSlash(opt.backupPath);
    chooseThreads(run);
    return true;
}

bool RunDriver::preparePairs(RunPlan& run)
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
    return true;
}

void RunDriver::chooseThreads(RunPlan& run)
{
    // A replace run writes the counted replacements; a search only shows them.
    if (run.threads <= 1 || (!run.replace && !run.opt.displayReplaceString))
        return;
    // Each worker would count on its own, so the replacements shown or written would differ
    // from those of the run on one thread: such a run stays on this thread, after the rest
    // of the walk.
    if (std::none_of(run.prepared.begin(), run.prepared.end(), [](const PreparedPair& pp) {
            return pp.regex && pp.pattern && pp.pattern->replaceCounts();
        }))
        return;
    run.threads = 1;
    if (run.walk)
        run.walk->walkOn(SIZE_MAX);
}

RunOutcome RunDriver::ExecuteRun(SearchRequest& request)
{
    if (m_active.load())
        return RunOutcome::NotRun; // one run at a time, also from inside the host's pump()
    RunGuard guard(*this);
    m_counters = RunCounters{};
    m_host.progress("");

    RunPlan plan(request);
    RunLedger ledger(plan, m_host, m_results, m_fs, m_counters, m_stop, m_decision);
    ledger.setRewriteBatchLimit(m_rewriteBatchLimit);
    // The clean-up runs on every way out, exceptions included.
    struct EndRun {
        RunDriver& driver;
        RunLedger& ledger;
        ~EndRun()
        {
            ledger.endRun();
            driver.closeOutput();
            driver.m_host.progress("");
        }
    } end{*this, ledger};

    if (!prepareRun(plan, ledger)) {
        if (!m_stop.load())
            return RunOutcome::NotRun;
        m_cache.clear();
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
        return RunOutcome::Stopped;
    }

    // Commits, backups, undo lines and the recovery list go in file order on this thread;
    // replace runs that ask questions scan here too (see prepareFileList).
    const size_t tasks = plan.list.size() + plan.archives.size();
    const size_t threads = plan.walk ? plan.threads : std::min(plan.threads, tasks);
    if (threads > 1)
        ParallelSearch(plan, ledger, m_results, m_host, m_fs, m_counters, m_stop).run(threads);
    else
        searchOnThisThread(plan, ledger);

    const bool stopped = m_stop.load();
    addSummaries(plan, ledger, stopped);
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

void RunDriver::searchOnThisThread(RunPlan& plan, RunLedger& ledger)
{
    std::unique_ptr<DirectoryCursor> cursor = plan.replace ? nullptr : m_fs.newDirectoryCursor();
    Lane lane = straightLane(&ledger);
    lane.cursor = cursor.get();
    FileSearch search(plan, lane, m_fs, m_stop, plan.replace ? &ledger.replaceSide() : nullptr);
    bool goOn = true;
    FileReport report;
    for (FileList::Cursor files(plan.list); goOn && !files.atEnd();) {
        const size_t k = files.index();
        search.searchFile(k, files.next(), plan.list.size(), true, report);
        goOn = ledger.finishFile(report);
    }
    for (size_t a = 0; goOn && a < plan.archives.size(); ++a)
        goOn = search.searchArchive(a, report);
}

void RunDriver::addSummaries(RunPlan& plan, RunLedger& ledger, bool stopped)
{
    // The list is not used after this point: the cache takes it over.
    if (!stopped && plan.keepList && (!plan.walk || plan.walk->finished()))
        m_cache.store(plan.maskKey, plan.pathKey, plan.request.searchSubdirectories, std::move(plan.list),
                      plan.starts);
    if (stopped)
        m_cache.clear();
    ledger.addSummaries(stopped);
}

size_t RunDriver::workerThreads(size_t requested)
{
    if (requested == 0)
        requested = std::max(1u, std::thread::hardware_concurrency());
    return std::min<size_t>(requested, kMaxThreads);
}

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

bool RunDriver::listArchives(const SearchRequest& request, const std::vector<ArchiveTask>& archives)
{
    // Members are listed from the archive's directory; their data is never read.
    const long count = static_cast<long>(archives.size());
    const DateSizeBounds bounds = ListWalk::filterBounds(request.options);
    Lane lane = straightLane(nullptr);
    for (const ArchiveTask& task : archives) {
        if (m_stop.load())
            return false;
        ++m_counters.archivesDone;
        std::unique_ptr<ArchiveReader> reader = openArchive(m_fs, lane, task.path, request.quiet);
        if (!reader)
            continue;
        MemberSelection selection(task.memberMask, bounds);
        const long opened = m_counters.archivesDone;
        const bool goOn = forEachSelectedMember(lane, m_stop, task.path, *reader, selection, [&](const ArchiveMember& member) {
            m_host.progress(zipProgressText(count - opened + 1, archivePercent(count, opened, *reader)));
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
