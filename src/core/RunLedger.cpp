#include "core/RunLedger.h"

#include "core/ExpressionFilter.h"
#include "core/FileSearch.h"
#include "core/RunDriver.h"
#include "core/RunTexts.h"
#include "core/RecoveryList.h"
#include "core/ReplacePreview.h"
#include "platform/Assert.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"

#include <cerrno>
#include <ctime>

namespace tw {

RunLedger::RunLedger(RunPlan& plan, RunHost& host, ResultSink& results, FileSystem& fs, RunCounters& counters,
                     std::atomic<bool>& stop, FileDecision decision)
    : m_plan(plan), m_host(host), m_results(results), m_fs(fs), m_counters(counters), m_stop(stop),
      m_decision(std::move(decision)), m_writer(fs, realFileOps(), host, results, m_confirmation),
      m_replaceSide(std::make_unique<ReplaceSide>(ReplaceSide{m_confirmation, &m_results, &m_writer}))
{
    m_confirmation.startRun(plan.opt.promptMode);
    m_confirmation.setCancelHandler([this] { m_stop.store(true); });
}

RunLedger::~RunLedger() = default;

bool RunLedger::beginHoldBack()
{
    m_holdsBack = m_results.beginHoldBack();
    if (!m_holdsBack) {
        m_results.addLine(ResultEntry::error(kErrorOpeningTemp));
        ++m_counters.fileErrors;
    }
    return m_holdsBack;
}

bool RunLedger::prepareExpression()
{
    const std::string& text = m_plan.request.expression;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return true;
    m_expression = std::make_unique<ExpressionFilter>(text, m_plan.request.pairs.size(), m_plan.replace);
    if (m_expression->error().empty())
        return true;
    m_host.message(m_expression->error(), m_plan.quiet);
    return false;
}

bool RunLedger::prepareSearch()
{
    return (!m_decision && !m_expression) || beginHoldBack();
}

bool RunLedger::startReplace(const std::string& dataDir)
{
    // Replace runs hold each file's lines back until the file is decided.
    if (!beginHoldBack())
        return false;
    m_writer.startRun(m_plan.opt, m_plan.quiet, dataDir);
    const SearchPair* first = m_plan.request.pairs.empty() ? nullptr : &m_plan.request.pairs.front();
    m_writer.keepUndoHistory(first ? first->searchText : std::string(), first ? first->replaceText : std::string(),
                             toFileTime(::time(nullptr), 0));
    m_plan.hashOutputs = m_writer.keepsUndoHistory();
    // Originals are rewritten in batches that share their flushes to disk: each batch
    // waits twice for the disk (its safety copies, then its new contents), and on a tree
    // of many small files those waits, not the writing, take most of a replace's time.
    m_writer.setBatchLimit(m_rewriteBatchLimit);
    return m_writer.createTempFiles(m_plan.request.pairs.size());
}

bool RunLedger::prepareReplace()
{
    // A preview writes nothing but its patch: no data directory, no lock.
    if (m_plan.request.preview)
        return startReplace(std::string());
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
    return startReplace(dataDir);
}

void RunLedger::flushHeldBack()
{
    if (m_holdsBack)
        m_results.flushHeldBack();
}

void RunLedger::fileStarts()
{
    flushHeldBack();
}

bool RunLedger::finishFile(const FileReport& report)
{
    TW_ASSERT(report.state.pairCounts.size() == m_plan.request.pairs.size());
    // A worker's write to its temporary output failed at this file: the run ends here.
    if (report.endsRun)
        m_stop.store(true);
    switch (report.fate) {
    case FileReport::Fate::Skipped:
        flushHeldBack();
        return true;
    case FileReport::Fate::NotReached:
        return false;
    case FileReport::Fate::Failed:
        // Not a file to decide: its lines so far, and its error line, are shown.
        tallyPairs(report);
        flushHeldBack();
        return true;
    case FileReport::Fate::Scanned:
        break;
    }
    if (!decideFile(report)) {
        // The file counts as one without hits: its lines go, its file line is pending again.
        if (m_holdsBack)
            m_results.discardHeldBack();
        if (m_plan.opt.showFilesWithoutHits) {
            m_results.setPendingFile(report.state.path, report.state.archivePath);
            m_results.addResultLines(ResultEntry::count("No occurrences found!", report.state.path));
            flushHeldBack();
        }
        return !m_stop.load();
    }
    countFile(report);
    if (m_stop.load()) {
        flushHeldBack();
        return false;
    }
    if (report.state.totals().hits == 0 && m_plan.opt.showFilesWithoutHits)
        m_results.addResultLines(ResultEntry::count("No occurrences found!", report.state.path));
    commitFile(report);
    flushHeldBack();
    return true;
}

bool RunLedger::decideFile(const FileReport& report)
{
    // A script's expression decides here, from the file's per-pair counters.
    return (!m_expression || m_expression->keeps(report)) && (!m_decision || m_decision(report));
}

void RunLedger::countFile(const FileReport& report)
{
    tallyPairs(report);
    const long hits = report.state.totals().hits;
    m_counters.totalHits += hits;
    if (hits == 0)
        return;
    if (m_plan.opt.displayFileStats)
        m_results.addResultLines(ResultEntry::count(formatText("Found %ld occurrences.", hits), report.state.path));
    ++m_counters.filesWithHits;
}

void RunLedger::tallyPairs(const FileReport& report)
{
    if (!m_plan.request.pairsFromScript || !report.pairsRan)
        return;
    for (size_t pi = 0; pi < m_plan.request.pairs.size(); ++pi) {
        SearchPair& sp = m_plan.request.pairs[pi];
        const PairCounts& c = report.state.pairCounts[pi];
        sp.hitsInFile = c.hits;
        sp.replacementsInFile = c.replacements;
        sp.totalHits += c.hits;
        sp.totalReplacements += c.replacements;
        sp.filesWithHits += c.hits > 0 ? 1 : 0;
    }
}

void RunLedger::commitFile(const FileReport& report)
{
    const FileState& file = report.state;
    const long replacements = file.totals().replacements;
    if (!m_plan.replace || replacements == 0 || !report.output)
        return;
    const std::vector<StartPath>& starts = m_plan.starts;
    while (m_startIndex + 1 < starts.size() && starts[m_startIndex + 1].firstIndex <= report.listIndex)
        ++m_startIndex;
    CommitInput ci;
    ci.path = file.path;
    ci.startPath = starts.empty() ? directoryOf(file.path) : starts[m_startIndex].directory;
    ci.backupDir = backupDirectory(starts.empty() ? 0 : starts[m_startIndex].entry);
    ci.status = report.status;
    ci.output = report.output;
    ci.stagedOutput = report.keptOutput;
    ci.replacements = replacements;
    ci.sizeChange = file.sizeChange;
    ci.reformatted = file.reformatted;
    ci.outputHash = report.outputHash;
    ci.outputHashLength = report.outputHashLength;
    if (ReplacePreview* preview = m_plan.request.preview) {
        std::string error;
        if (!preview->commit(ci, file.binary || file.utf16, report.changes, error)) {
            reportFileError(m_results, m_host, m_plan.quiet, error, file.path);
            ++m_counters.fileErrors;
        }
        return;
    }
    // A failure has been reported and counted by the writer; a cancelled question stops
    // the run through the confirmation's cancel handler.
    if (m_writer.CommitFile(ci) != CommitResult::Replaced && m_confirmation.cancelled())
        m_stop.store(true);
}

std::string RunLedger::backupDirectory(size_t entry) const
{
    // The files of a script's several path entries keep their backups apart: those of the
    // first entry under "Path1/" of the backup directory, and so on.
    const SearchRequest& request = m_plan.request;
    if (m_plan.backupPath.empty() || !request.pathsFromScript || request.pathMasks.size() < 2)
        return m_plan.backupPath;
    return m_plan.backupPath + "Path" + std::to_string(entry + 1) + "/";
}

void RunLedger::addSummary(const std::string& text)
{
    m_results.addLine(ResultEntry::summary(text));
}

void RunLedger::addSummaries(bool stopped)
{
    const ProgramOptions& opt = m_plan.opt;
    flushHeldBack(); // lines of no file (an archive's error line) held back since the last file
    addSummary(searchedText(m_counters.filesSearched, m_counters.totalHits, m_counters.filesWithHits));
    if (m_plan.replace && m_plan.request.preview) {
        ReplacePreview& preview = *m_plan.request.preview;
        if (!preview.flush()) {
            m_results.addLine(ResultEntry::error("Error writing the patch"));
            ++m_counters.fileErrors;
        }
        m_counters.replacements = preview.replacements();
        m_counters.filesReplaced = preview.filesChanged();
    } else if (m_plan.replace) {
        if (m_writer.flushRewrites() != CommitResult::Replaced && m_confirmation.cancelled())
            m_stop.store(true);
        m_counters.replacements = m_writer.replacements();
        m_counters.filesReplaced = m_writer.filesReplaced();
        addSummary(formatText("Replaced %ld occurrences in %ld file(s)", m_counters.replacements,
                              m_counters.filesReplaced));
        if (m_counters.filesReplaced > 0 && opt.writeToBackupDir && !m_plan.quiet)
            m_host.message("Replaced files were written to the backup directory as specified in Options!\n"
                           "To replace in original files, uncheck Write Files to Backup Dir in Replace Options.",
                           m_plan.quiet);
    }
    if (m_counters.filesSearched == 0)
        m_host.noFilesFound(noFilesParagraphs(), m_plan.quiet);
    if (m_holdsBack)
        m_results.endHoldBack();
    m_holdsBack = false;
    if (m_plan.request.pairsFromScript && opt.displayFileStats)
        for (const SearchPair& sp : m_plan.request.pairs)
            m_results.addLine(ResultEntry::pairSummary(
                sp.searchText + " - " + searchedText(m_counters.filesSearched, sp.totalHits, sp.filesWithHits)));
    if (stopped)
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    // A preview's count comes last, after the lines of the pairs.
    if (m_plan.replace && m_plan.request.preview)
        addSummary(previewSummaryText(m_counters.replacements, m_counters.filesReplaced));
}

void RunLedger::endRun()
{
    if (m_holdsBack)
        m_results.endHoldBack();
    m_holdsBack = false;
    if (m_plan.replace) {
        m_writer.releaseTempFiles();
        m_writer.endRun();
        m_counters.fileErrors += m_writer.errorLines();
    }
}

} // namespace tw
