#include "core/RunDriver.h"

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

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
    h += "Path: " + (pm ? pm->path : std::string()) + "\r\n";
    h += "File Mask: " + (pm ? pm->mask : std::string()) + "\r\n";
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

RunDriver::RunDriver(RunHost& host, ResultsList& results, FileSystem& fs)
    : m_host(host), m_results(results), m_fs(fs)
{
}

RunDriver::~RunDriver() = default;

bool RunDriver::openOutputFile(const SearchRequest& request)
{
    m_output.reset();
    m_results.setOutputFile(nullptr);
    const std::string& name = request.options.outputFile;
    if (name.empty())
        return true;
    m_output = m_fs.openWrite(name, true, true);
    if (!m_output) {
        const std::string text = "Error writing to output file " + BaseName(name);
        m_results.addLine(ResultEntry{text, 0});
        m_host.message(text, request.quiet);
        return false;
    }
    m_results.setOutputFile(m_output.get());
    return true;
}

void RunDriver::closeOutput()
{
    m_results.setOutputFile(nullptr);
    m_output.reset();
}

void RunDriver::reportFileError(const std::string& message, const std::string& path, bool quiet, bool withBox)
{
    const std::string text = message + BaseName(path);
    m_results.addLine(ResultEntry{text, 0});
    if (withBox)
        m_host.message(text, quiet);
}

void RunDriver::addSummary(const std::string& text)
{
    m_results.addLine(ResultEntry{std::string(kNameMarker) + text, 0});
}

RunOutcome RunDriver::ListFilesOnly(const SearchRequest& request)
{
    m_counters = RunCounters{};
    m_stop.store(false);
    FileList list;
    FileWalker walker(m_fs);
    walker.setPump([this] { m_host.pump(); });
    walker.setStopFlag(&m_stop);
    for (const PathMaskPair& pm : request.pathMasks)
        walker.build(pm.path, pm.mask, request.searchSubdirectories, list);
    m_results.setHitTexts(request.options.beforeHit, request.options.afterHit);
    openOutputFile(request);
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
        std::string line(kFileLinePrefix);
        line += kNameMarker;
        line += list.at(i);
        m_results.addLine(ResultEntry{std::move(line), 0});
        ++m_counters.filesListed;
    }
    stopped = stopped || m_stop.load();
    m_counters.directories = walker.stats().directories;
    addSummary(Format("Found %ld files in %ld directories", m_counters.filesListed, m_counters.directories));
    if (stopped)
        m_results.addLine(ResultEntry{"Execution interrupted by the user!", 0});
    closeOutput();
    m_stop.store(true);
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

RunOutcome RunDriver::ExecuteRun(SearchRequest& request)
{
    m_counters = RunCounters{};
    const bool quiet = request.quiet;
    const ProgramOptions& opt = request.options;
    m_stop.store(false);
    m_host.progress("");

    // The file list (from the cache when nothing changed since it was built).
    FileList list;
    std::string pathKey, maskKey;
    for (const PathMaskPair& pm : request.pathMasks) {
        pathKey += pm.path + '\n';
        maskKey += pm.mask + '\n';
    }
    if (!(opt.cacheFileList && m_cache.tryReuse(maskKey, pathKey, request.searchSubdirectories, list))) {
        FileWalker walker(m_fs);
        walker.setPump([this] { m_host.pump(); });
        walker.setStopFlag(&m_stop);
        for (const PathMaskPair& pm : request.pathMasks)
            walker.build(pm.path, pm.mask, request.searchSubdirectories, list);
    }
    if (m_stop.load()) {
        m_cache.clear();
        m_results.addLine(ResultEntry{"Execution interrupted by the user!", 0});
        return RunOutcome::Stopped;
    }

    m_results.setHitTexts(opt.beforeHit, opt.afterHit);
    openOutputFile(request);
    if (m_output)
        m_results.writeToOutput(BuildRunHeading(request, NowText()));

    // Pair preparation: once per pair and run.
    std::vector<ActivePair> pairs;
    size_t longest = 1;
    for (const SearchPair& sp : request.pairs) {
        ActivePair ap;
        ap.literal = std::make_unique<LiteralMatcher>(sp.searchText, sp.caseSensitive, sp.wholeWord);
        ap.replaceText = sp.replaceText;
        longest = std::max(longest, sp.searchText.size() + 1);
        pairs.push_back(std::move(ap));
    }

    ScanSettings settings;
    settings.blockSize = request.blockSize;
    settings.maxDisplayChars = request.maxDisplayChars;
    settings.showHitLines = opt.showFirstHitLine;
    settings.displayReplaceString = opt.displayReplaceString;
    settings.stopAfterFirstHit = opt.stopAfterFirstHit;
    FileScanner scanner(settings, m_results, m_host, m_stop);
    scanner.reserveFor(longest);

    const size_t total = list.size();
    for (size_t k = 0; k < total; ++k) {
        const std::string path(list.at(k));
        m_results.setPendingFile(path);
        ++m_counters.filesSearched;
        m_host.progress(Format("%ld files to process (%ld%% done)", static_cast<long>(total - k),
                               static_cast<long>(k * 100 / total)));
        m_host.title("TW32 - " + path);
        if (m_stop.load())
            break;

        FileState file;
        file.path = path;
        int err = 0;
        std::unique_ptr<File> in = m_fs.openRead(path, &err);
        if (!in) {
            reportFileError("Error opening ", path, quiet, true);
            continue;
        }
        bool abandoned = false;
        for (size_t pi = 0; pi < pairs.size() && !abandoned; ++pi) {
            ActivePair& pair = pairs[pi];
            if (pair.literal && pair.literal->length() == 0)
                continue;
            const ScanOutcome outcome = scanner.scan(*in, pair, file, pi == 0, nullptr);
            if (outcome == ScanOutcome::ReadError) {
                m_results.addLine(ResultEntry{"Error reading file " + path, 0});
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
            if (file.skipRestOfFile || m_stop.load())
                break;
        }
        in.reset();
        if (abandoned)
            continue;
        m_counters.totalHits += file.hits;
        if (file.hits > 0) {
            if (opt.displayFileStats)
                m_results.addResultLines(ResultEntry{Format("Found %ld occurrences.", file.hits), 0});
            ++m_counters.filesWithHits;
        }
        if (m_stop.load())
            break;
        if (file.hits == 0 && opt.showFilesWithoutHits)
            m_results.addResultLines(ResultEntry{"No occurrences found!", 0});
    }

    const bool stopped = m_stop.load();
    if (!stopped && opt.cacheFileList)
        m_cache.store(maskKey, pathKey, request.searchSubdirectories, list);
    addSummary(Format("Searched %ld file(s), found %ld occurrences in %ld file(s)", m_counters.filesSearched,
                      m_counters.totalHits, m_counters.filesWithHits));
    if (m_counters.filesSearched == 0)
        for (const char* t : kNoFilesTexts)
            m_host.message(t, quiet);
    if (request.pairsFromScript && opt.displayFileStats)
        for (const SearchPair& sp : request.pairs)
            m_results.addLine(ResultEntry{sp.searchText + " - " +
                                              Format("Searched %ld file(s), found %ld occurrences in %ld file(s)",
                                                     m_counters.filesSearched, sp.totalHits, sp.filesWithHits),
                                          0});
    if (stopped) {
        m_cache.clear();
        m_results.addLine(ResultEntry{"Execution interrupted by the user!", 0});
    }
    closeOutput();
    m_stop.store(true);
    m_host.progress("");
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

} // namespace tw
