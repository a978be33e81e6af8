#include "core/RunDriver.h"

#include "core/Confirmation.h"
#include "core/RecoveryList.h"
#include "core/ReplaceWriter.h"
#include "core/WholeFileOperations.h"
#include "engine/PreparedPair.h"
#include "engine/ReplaceTokens.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "select/FileWalker.h"

#include <cstdio>
#include <ctime>

namespace tw {

namespace {

std::string Format(const char* fmt, long a, long b = 0, long c = 0)
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

std::string NowText()
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
    RunReplaceHooks(ConfirmationState& conf, RunHost& host, ResultSink& sink, std::atomic<bool>& stop, bool quiet,
                    bool oneHit, long& fileErrors)
        : m_conf(conf), m_host(host), m_sink(sink), m_stop(stop), m_quiet(quiet), m_oneHit(oneHit),
          m_fileErrors(fileErrors)
    {
    }
    void setOutput(File* out) { m_output = out; }

    File& output() override { return *m_output; }
    bool hitVisible() override { return !m_conf.skipRestOfFile(); }
    bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) override
    {
        if (!m_conf.hitNeedsAnswer())
            return m_conf.decideHit(m_host, {}, NoHeldBackLines(), file.path);
        return m_conf.decideHit(m_host, BuildHitQuestion(hitLine, replaceText, file.binary), m_sink.heldBack(),
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
        ReportFileError(m_sink, m_host, m_quiet,
                        whileWritingReplacement ? "Error writing replace string to temp file"
                                                : "Error writing to temp file",
                        file.path);
        m_stop.store(true);
    }
    Step beforeFirstBlock(FileState& file, ActivePair& pair, File& input) override
    {
        m_savedSkip = m_conf.skipRestOfFile();
        SpecialContext ctx{m_conf, m_host, m_sink, m_quiet, file.path};
        SpecialOutcome o;
        if (pair.special == SpecialOp::Prepend)
            o = PrependReplaceText(ctx, *m_output, pair.replaceText);
        else
            o = ReformatFile(ctx, input, *m_output, pair.reformatColumns);
        return account(file, pair, o, pair.special == SpecialOp::Reformat);
    }
    Step atEnd(FileState& file, ActivePair& pair) override
    {
        SpecialContext ctx{m_conf, m_host, m_sink, m_quiet, file.path};
        return account(file, pair, AppendReplaceText(ctx, *m_output, pair.replaceText), false);
    }
    void endPair() override { m_conf.setSkipRestOfFile(m_savedSkip); }

private:
    Step account(FileState& file, ActivePair& pair, const SpecialOutcome& o, bool reformat)
    {
        switch (o.result) {
        case SpecialResult::Declined:
            return m_stop.load() ? Step::Stop : Step::Continue;
        case SpecialResult::WriteFailed:
            ++m_fileErrors;
            m_stop.store(true);
            return Step::Stop;
        case SpecialResult::ReadFailed:
            ++m_fileErrors;
            return Step::Abandon;
        case SpecialResult::Performed:
            break;
        }
        ++pair.hitsInFile;
        ++pair.replacementsInFile;
        ++file.hits;
        ++file.replacements;
        if (reformat) {
            file.reformatted = true;
            return Step::Finished;
        }
        file.sizeChange += o.sizeChange;
        m_conf.setSkipRestOfFile(true);
        return Step::Continue;
    }

    ConfirmationState& m_conf;
    RunHost& m_host;
    ResultSink& m_sink;
    std::atomic<bool>& m_stop;
    bool m_quiet;
    bool m_oneHit;
    long& m_fileErrors; // the run's count of file error lines
    File* m_output = nullptr; // the temporary output of the current pair
    bool m_savedSkip = false; // skipRestOfFile before a special operation of the current pair
};

std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

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
    h += "Path: " + DisplayName(pm ? pm->path : std::string()) + "\r\n";
    h += "File Mask: " + DisplayName(pm ? pm->mask : std::string()) + "\r\n";
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

bool RunDriver::openOutputFile(const SearchRequest& request, const FileList& list)
{
    const std::string& name = request.options.outputFile;
    if (m_results.openOutputFile(name, list.size(), [&](size_t i) { return std::string(list.at(i)); }))
        return true;
    reportFileError("Error writing to output file ", name, request.quiet);
    return false;
}

WalkStats RunDriver::buildFileList(const SearchRequest& request, FileList& list, std::vector<StartPath>* starts)
{
    FileWalker walker(m_fs);
    walker.setPump([this] { m_host.pump(); });
    walker.setStopFlag(&m_stop);
    for (const PathMaskPair& pm : request.pathMasks)
        walker.build(pm.path, pm.mask, request.searchSubdirectories, list, starts);
    return walker.stats();
}

void RunDriver::reportFileError(const std::string& message, const std::string& path, bool quiet)
{
    // A results line (no file line in front) and the same text as a message.
    const std::string text = message + DisplayName(BaseName(path));
    ++m_counters.fileErrors;
    m_results.addLine(ResultEntry::error(text, path));
    m_host.message(text, quiet);
}

void RunDriver::closeOutput()
{
    m_results.closeOutputFile();
}

void RunDriver::addSummary(const std::string& text)
{
    m_results.addLine(ResultEntry::summary(text));
}

RunOutcome RunDriver::ListFilesOnly(const SearchRequest& request)
{
    m_counters = RunCounters{};
    m_stop.store(false);
    FileList list;
    const WalkStats walked = buildFileList(request, list, nullptr);
    m_results.setHitTexts(request.options.beforeHit, request.options.afterHit);
    openOutputFile(request, list);
    const size_t n = list.size();
    bool stopped = false;
    for (size_t i = 0; i < n; ++i) {
        m_host.pump();
        if (m_stop.load()) {
            stopped = true;
            break;
        }
        m_host.progress(Format("%ld files to process (%ld%% done)", static_cast<long>(n - i),
                               static_cast<long>(i * 100 / n)));
        m_results.addLine(ResultEntry::listedFile(std::string(list.at(i))));
        ++m_counters.filesListed;
    }
    stopped = stopped || m_stop.load();
    m_counters.directories = walked.directories;
    addSummary(Format("Found %ld files in %ld directories", m_counters.filesListed, m_counters.directories));
    if (stopped)
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    closeOutput();
    m_stop.store(true);
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

RunOutcome RunDriver::ExecuteRun(SearchRequest& request)
{
    m_counters = RunCounters{};
    const bool quiet = request.quiet;
    const bool replace = request.replaceMode;
    const ProgramOptions& opt = request.options;
    m_stop.store(false);
    m_host.progress("");

    if (replace && !quiet && opt.backupPath.empty() &&
        m_host.ask(Question::YesNo, "No backup directory was selected in Options\nDo you want to continue?") !=
            Answer::Yes) {
        m_stop.store(true);
        return RunOutcome::NotRun;
    }

    // The file list (from the cache when nothing changed since it was built).
    FileList list;
    std::vector<StartPath> starts;
    std::string pathKey, maskKey;
    for (const PathMaskPair& pm : request.pathMasks) {
        pathKey += pm.path + '\n';
        maskKey += pm.mask + '\n';
    }
    if (!(opt.cacheFileList && m_cache.tryReuse(maskKey, pathKey, request.searchSubdirectories, list, &starts)))
        buildFileList(request, list, &starts);
    if (m_stop.load()) {
        m_cache.clear();
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
        return RunOutcome::Stopped;
    }

    m_results.setHitTexts(opt.beforeHit, opt.afterHit);
    openOutputFile(request, list);
    if (m_results.hasOutputFile())
        m_results.writeToOutput(
            BuildRunHeading(request, request.startedText.empty() ? NowText() : request.startedText));

    // Replace runs hold each file's lines back until the file is decided.
    ConfirmationState confirmation;
    confirmation.startRun(opt.promptMode);
    confirmation.setCancelHandler([this] { m_stop.store(true); });
    FileOps& ops = RealFileOps();
    ReplaceWriter writer(m_fs, ops, m_host, m_results, confirmation);
    RunReplaceHooks hooks(confirmation, m_host, m_results, m_stop, quiet, opt.stopAfterFirstHit,
                          m_counters.fileErrors);
    auto finish = [&](RunOutcome outcome) {
        if (replace) {
            m_results.endHoldBack();
            writer.ReleaseTempFiles();
            writer.endRun();
            m_counters.fileErrors += writer.errorLines();
        }
        closeOutput();
        m_stop.store(true);
        m_host.progress("");
        return outcome;
    };
    if (replace) {
        // Another run that holds the recovery list's lock is in the middle of writing
        // files; wait a little for it rather than for ever.
        const std::string dataDir = DataDirectory();
        if (!dataDir.empty()) {
            std::unique_ptr<FileLock> lock = ops.lockFile(dataDir + kRecoveryLockName, 0);
            if (!lock) {
                m_host.message("Waiting for another Tarnwick run to finish writing files...", false);
                lock = ops.lockFile(dataDir + kRecoveryLockName, kRecoveryLockWaitMs / 2);
            }
            if (!lock) {
                m_host.message("Another Tarnwick run is still writing files; nothing was replaced. "
                               "Try again when it has finished.",
                               false);
                return finish(RunOutcome::NotRun);
            }
        }
        if (!m_results.beginHoldBack()) {
            m_results.addLine(ResultEntry::error(kErrorOpeningTemp));
            ++m_counters.fileErrors;
            return finish(RunOutcome::NotRun);
        }
        writer.startRun(opt, quiet, dataDir);
        // Originals are rewritten in batches that share their flushes to disk.
        writer.setBatchLimit(256);
        if (!writer.CreateTempFiles(request.pairs.size()))
            return finish(RunOutcome::NotRun);
    }

    // Pair preparation: once per pair and run. A pair that cannot be prepared ends the
    // run before any file is searched.
    std::vector<PreparedPair> prepared;
    std::vector<ActivePair> pairs;
    size_t longest = 1;
    const int maxRepeat = opt.maxRegexSize > 0 ? opt.maxRegexSize : 32767;
    for (const SearchPair& sp : request.pairs) {
        PreparedPair pp = PreparePair(sp, maxRepeat, GetEnvironmentVariable);
        if (!pp.usable()) {
            m_host.message(pp.error, quiet);
            return finish(RunOutcome::NotRun);
        }
        prepared.push_back(std::move(pp));
    }
    for (PreparedPair& pp : prepared) {
        ActivePair ap;
        ap.replaceText = pp.replaceBytes;
        switch (pp.special) {
        case PreparedPair::Append: ap.special = SpecialOp::Append; break;
        case PreparedPair::Prepend: ap.special = SpecialOp::Prepend; break;
        case PreparedPair::Reformat: ap.special = SpecialOp::Reformat; break;
        case PreparedPair::None: break;
        }
        ap.reformatColumns = pp.reformatColumns;
        if (ap.special == SpecialOp::None) {
            if (pp.regex) {
                ap.pattern = pp.pattern.get();
                ap.patternLength = pp.searchBytes.size();
                longest = std::max(longest, pp.searchBytes.size() + static_cast<size_t>(ap.pattern->widthEstimate()));
            } else {
                ap.literal = std::make_unique<LiteralMatcher>(pp.searchBytes, pp.caseSensitive, pp.wholeWord);
                longest = std::max(longest, pp.searchBytes.size() + 1);
            }
        }
        pairs.push_back(std::move(ap));
    }
    // Literal pairs whose texts name the file get them expanded per file.

    ScanSettings settings;
    settings.blockSize = request.blockSize;
    settings.maxDisplayChars = request.maxDisplayChars;
    settings.showHitLines = opt.showFirstHitLine;
    settings.displayReplaceString = opt.displayReplaceString;
    settings.stopAfterFirstHit = opt.stopAfterFirstHit;
    FileScanner scanner(settings, m_results, m_host, m_stop);
    scanner.reserveFor(longest);

    const std::string backupPath = WithSlash(opt.backupPath);
    size_t startIndex = 0; // the start path of the current file
    const size_t total = list.size();
    for (size_t k = 0; k < total; ++k) {
        const std::string path(list.at(k));
        while (startIndex + 1 < starts.size() && starts[startIndex + 1].firstIndex <= k)
            ++startIndex;
        m_results.setPendingFile(path);
        ++m_counters.filesSearched;
        if (replace && confirmation.onFileStart(path) == DirDecision::Skip)
            continue;
        m_host.progress(Format("%ld files to process (%ld%% done)", static_cast<long>(total - k),
                               static_cast<long>(k * 100 / total)));
        m_host.title("TW32 - " + path);
        if (m_stop.load())
            break;

        FileState file;
        file.path = path;
        FileStatus status;
        int err = 0;
        // The status comes from the descriptor: it describes the very file that is read,
        // and the rewrite later checks that the name still leads to it unchanged.
        std::unique_ptr<File> in = m_fs.openRead(path, &err);
        if (!in || (replace && !in->status(&status))) {
            reportFileError("Error opening ", path, quiet);
            if (replace)
                m_results.flushHeldBack();
            continue;
        }
        if (replace)
            confirmation.onFileOpened();
        bool abandoned = false;
        File* output = nullptr;
        for (size_t pi = 0; pi < pairs.size() && !abandoned; ++pi) {
            ActivePair& pair = pairs[pi];
            const PreparedPair& pp = prepared[pi];
            if (pair.literal && (HasFileTokens(pp.searchBytes) || HasFileTokens(pp.replaceBytes))) {
                std::string search = pp.searchBytes;
                ExpandFileTokens(search, path);
                pair.replaceText = pp.replaceBytes;
                ExpandFileTokens(pair.replaceText, path);
                pair.literal = std::make_unique<LiteralMatcher>(search, pp.caseSensitive, pp.wholeWord);
                scanner.reserveFor(search.size() + 1);
            }
            File* input = in.get();
            if (replace) {
                // Temporary files alternate: even pairs write the first, odd pairs the
                // second, and every pair after the first reads what the one before wrote.
                output = writer.tempFile(static_cast<int>(pi % 2));
                if (pi > 0)
                    input = writer.tempFile(static_cast<int>((pi + 1) % 2));
                if (!output->seek(0) || !output->truncate(0)) {
                    hooks.writeFailed(file, false);
                    break;
                }
                hooks.setOutput(output);
            } else if (pair.literal && pair.literal->length() == 0) {
                continue;
            }
            const ScanOutcome outcome = scanner.scan(*input, pair, file, pi == 0, replace ? &hooks : nullptr);
            if (outcome == ScanOutcome::ReadError) {
                m_results.addLine(ResultEntry::error("Error reading file " + path, path));
                ++m_counters.fileErrors;
                abandoned = true;
            } else if (outcome == ScanOutcome::SeekError) {
                reportFileError("Error seeking in file ", path, quiet);
                abandoned = true;
            }
            if (request.pairsFromScript) {
                SearchPair& sp = request.pairs[pi];
                sp.hitsInFile = pair.hitsInFile;
                sp.replacementsInFile = pair.replacementsInFile;
                sp.totalHits += pair.hitsInFile;
                sp.totalReplacements += pair.replacementsInFile;
                sp.filesWithHits += pair.hitsInFile > 0 ? 1 : 0;
            }
            if (outcome == ScanOutcome::Stopped || m_stop.load())
                break;
            if (!replace && opt.stopAfterFirstHit && file.hits > 0)
                break;
        }
        in.reset();
        if (abandoned) {
            if (replace)
                m_results.flushHeldBack();
            continue;
        }
        m_counters.totalHits += file.hits;
        if (file.hits > 0) {
            if (opt.displayFileStats)
                m_results.addResultLines(ResultEntry::count(Format("Found %ld occurrences.", file.hits), path));
            ++m_counters.filesWithHits;
        }
        if (m_stop.load()) {
            if (replace)
                m_results.flushHeldBack();
            break;
        }
        if (file.hits == 0 && opt.showFilesWithoutHits)
            m_results.addResultLines(ResultEntry::count("No occurrences found!", path));
        if (replace && file.replacements > 0 && output) {
            CommitInput ci;
            ci.path = path;
            ci.startPath = starts.empty() ? DirectoryOf(path) : starts[startIndex].directory;
            ci.backupDir = backupPath;
            ci.status = status;
            ci.output = output;
            ci.replacements = file.replacements;
            ci.sizeChange = file.sizeChange;
            ci.reformatted = file.reformatted;
            writer.CommitFile(ci);
        }
        if (replace)
            m_results.flushHeldBack();
    }

    const bool stopped = m_stop.load();
    if (!stopped && opt.cacheFileList)
        m_cache.store(maskKey, pathKey, request.searchSubdirectories, list, starts);
    addSummary(Format("Searched %ld file(s), found %ld occurrences in %ld file(s)", m_counters.filesSearched,
                      m_counters.totalHits, m_counters.filesWithHits));
    if (replace) {
        writer.flushRewrites();
        m_counters.replacements = writer.replacements();
        m_counters.filesReplaced = writer.filesReplaced();
        addSummary(Format("Replaced %ld occurrences in %ld file(s)", m_counters.replacements, m_counters.filesReplaced));
        if (m_counters.filesReplaced > 0 && opt.writeToBackupDir && !quiet)
            m_host.message("Replaced files were written to the backup directory as specified in Options!\n"
                           "To replace in original files, uncheck Write Files to Backup Dir in Replace Options.",
                           quiet);
    }
    if (m_counters.filesSearched == 0)
        for (const char* t : kNoFilesTexts)
            m_host.message(t, quiet);
    if (replace)
        m_results.endHoldBack();
    if (request.pairsFromScript && opt.displayFileStats)
        for (const SearchPair& sp : request.pairs)
            m_results.addLine(ResultEntry::pairSummary(
                sp.searchText + " - " +
                Format("Searched %ld file(s), found %ld occurrences in %ld file(s)", m_counters.filesSearched,
                       sp.totalHits, sp.filesWithHits)));
    if (stopped) {
        m_cache.clear();
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    }
    return finish(stopped ? RunOutcome::Stopped : RunOutcome::Completed);
}

} // namespace tw
