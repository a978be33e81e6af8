#include "core/RunDriver.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <stdexcept>

namespace tw {
namespace {

using test::FakeHost;
using test::TempDir;
using test::writeFile;

// Lines in their output form, markers shown as "<" and ">".
std::vector<std::string> shownLines(const MemoryResultsView& view)
{
    std::vector<std::string> out;
    for (const ResultEntry& e : view.lines)
        out.push_back(outputForm(e.text, "<", ">"));
    return out;
}

struct SearchRun {
    FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    SearchRun() { results.setView(&view); }

    RunOutcome search(const std::string& text, const std::string& path, const std::string& mask,
                      size_t blockSize = 102400, bool subdirs = false,
                      const std::function<void(SearchRequest&)>& tweak = {})
    {
        SearchRequest req;
        SearchPair pair;
        pair.searchText = text;
        req.pairs.push_back(pair);
        req.pathMasks.push_back({path, mask});
        req.blockSize = blockSize;
        req.searchSubdirectories = subdirs;
        req.options.maxRegexSize = 32767;
        if (tweak)
            tweak(req);
        return text.empty() ? driver.ListFilesOnly(req) : driver.ExecuteRun(req);
    }
};

// Every hit is reported once with the right line number, whatever the block size.
TEST(RunDriver, HitsAcrossBlockBoundariesAreFoundOnce)
{
    TempDir dir;
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const size_t len = 50 + rng() % 400;
        for (size_t i = 0; i < len; ++i) {
            const unsigned r = rng() % 10;
            text += r == 0 ? '\n' : r == 1 ? '\r' : r < 5 ? 'a' : r < 7 ? 'b' : ' ';
        }
        writeFile(dir.file("f.txt"), text);
        const std::string needles[] = {"ab", "aab", "a\nb", "b a", "\na"};
        const std::string needle = needles[round % 5];
        const bool ww = round % 3 == 0;
        // Reference: hits and line numbers straight from the whole text.
        std::vector<std::string> expect;
        for (size_t p = 0; p + needle.size() <= text.size();) {
            bool ok = text.compare(p, needle.size(), needle) == 0;
            auto word = [](char c) { return c == 'a' || c == 'b'; };
            if (ok && ww && ((p > 0 && word(text[p - 1])) ||
                             (p + needle.size() < text.size() && word(text[p + needle.size()]))))
                ok = false;
            if (ok) {
                long line = 1;
                for (size_t i = 0; i < p; ++i)
                    line += text[i] == '\n';
                if (text[p] == '\n' || text[p] == '\r')
                    ++line;
                expect.push_back(std::to_string(line));
                p += needle.size();
            } else {
                ++p;
            }
        }
        for (size_t block : {8ul, 9ul, 13ul, 32ul, 102400ul}) {
            SearchRun run;
            run.search(needle, dir.path(), "*.txt", block, false, [&](SearchRequest& r) {
                r.pairs[0].wholeWord = ww;
                r.options.displayFileStats = false;
            });
            std::vector<std::string> got;
            for (const std::string& l : shownLines(run.view))
                if (l.rfind("Line ", 0) == 0)
                    got.push_back(std::to_string(std::stol(l.substr(5))));
            ASSERT_EQ(got, expect) << "round " << round << " block " << block << " needle " << needle;
            EXPECT_EQ(run.driver.counters().totalHits, static_cast<long>(expect.size()));
        }
    }
}

TEST(RunDriver, ListsFileLineHitsStatsAndSummary)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "one\nfind me\n");
    writeFile(dir.file("b.txt"), "nothing\n");
    writeFile(dir.file("sub/c.txt"), "find find\n");
    writeFile(dir.file(".hidden/d.txt"), "find\n");
    writeFile(dir.file("e.c"), "find\n");
    SearchRun run;
    EXPECT_EQ(run.search("find", dir.path(), "*.txt", 102400, true), RunOutcome::Completed);
    const std::vector<std::string> expect = {
        "Processing file : " + dir.file("a.txt"),
        "Line   2 - <find> me",
        "Found 1 occurrences.",
        "Processing file : " + dir.file("sub/c.txt"),
        "Line   1 - <find> find",
        "Line   1 - find <find>",
        "Found 2 occurrences.",
        "Searched 3 file(s), found 3 occurrences in 2 file(s)",
    };
    EXPECT_EQ(shownLines(run.view), expect);
    EXPECT_EQ(run.view.lines.back().text.substr(0, 2), "\x01\x01");
    EXPECT_EQ(run.view.lines[1].hitLength, 4);
}

TEST(RunDriver, DisplayOptionsShapeTheLines)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "x y x\n");
    writeFile(dir.file("b.txt"), "none\n");
    struct Case {
        bool showHits, stats, withoutHits, oneHit;
        std::vector<std::string> expect;
    };
    const std::string a = "Processing file : " + dir.file("a.txt");
    const std::string b = "Processing file : " + dir.file("b.txt");
    const Case cases[] = {
        {false, true, false, false, {a, "Found 2 occurrences.", "Searched 2 file(s), found 2 occurrences in 1 file(s)"}},
        {false, false, false, false, {"Searched 2 file(s), found 2 occurrences in 1 file(s)"}},
        {true, false, true, true,
         {a, "Line   1 - <x> y x", b, "No occurrences found!", "Searched 2 file(s), found 1 occurrences in 1 file(s)"}},
    };
    for (const Case& c : cases) {
        SearchRun run;
        run.search("x", dir.path(), "*.txt", 102400, false, [&](SearchRequest& r) {
            r.options.showFirstHitLine = c.showHits;
            r.options.displayFileStats = c.stats;
            r.options.showFilesWithoutHits = c.withoutHits;
            r.options.stopAfterFirstHit = c.oneHit;
        });
        EXPECT_EQ(shownLines(run.view), c.expect);
    }
}

TEST(RunDriver, ListsFilesWhenTheSearchTextIsEmpty)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "");
    writeFile(dir.file("README"), "");
    writeFile(dir.file("s/b.TXT"), "");
    SearchRun run;
    EXPECT_EQ(run.search("", dir.path() + ";" + dir.path() + "nope;", "*.txt", 102400, true), RunOutcome::Completed);
    EXPECT_EQ(shownLines(run.view), (std::vector<std::string>{"Processing file : " + dir.file("a.txt"),
                                                          "Processing file : " + dir.file("s/b.TXT"),
                                                          "Found 2 files in 3 directories"}));
}

TEST(RunDriver, NoFilesFoundIsReportedThroughTheHost)
{
    SearchRun run;
    run.search("x", "/nonexistent/dir/", "*.*");
    EXPECT_EQ(shownLines(run.view), (std::vector<std::string>{"Searched 0 file(s), found 0 occurrences in 0 file(s)"}));
    ASSERT_EQ(run.host.messages.size(), 5u);
    EXPECT_EQ(run.host.messages[0].substr(0, 31), "No files were found using the s");
}

TEST(RunDriver, StopEndsTheRunWithTheInterruptedLine)
{
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        writeFile(dir.file("f" + std::to_string(i) + ".txt"), "hit\n");
    SearchRun run;
    int blocks = 0;
    run.host.onPump = [&] {
        if (++blocks == 8) // five walk entries (archives are found in the same walk), then one block per file
            run.driver.requestStop();
    };
    EXPECT_EQ(run.search("hit", dir.path(), "*.txt"), RunOutcome::Stopped);
    const auto lines = shownLines(run.view);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "Execution interrupted by the user!");
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 9), "Searched ");
    EXPECT_LT(run.driver.counters().filesSearched, 5);
}

// The run's state is put back whatever way a run ends, and a run never starts inside
// another one (a host's pump() may try).
TEST(RunDriver, RunningIsTrueOnlyDuringARunAndRunsDoNotNest)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "hit\n");
    SearchRun run;
    RunOutcome nested = RunOutcome::Completed;
    bool sawRunning = false;
    run.host.onPump = [&] {
        sawRunning = sawRunning || run.driver.running();
        SearchRequest again;
        again.pairs.push_back(SearchPair{});
        again.pairs.back().searchText = "hit";
        again.pathMasks.push_back({dir.path(), "*.txt"});
        nested = run.driver.ExecuteRun(again);
    };
    EXPECT_EQ(run.search("hit", dir.path(), "*.txt"), RunOutcome::Completed);
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(nested, RunOutcome::NotRun);
    EXPECT_FALSE(run.driver.running());

    // An exception out of the host leaves the driver idle and ready for the next run.
    run.host.onPump = [] { throw std::runtime_error("host failed"); };
    EXPECT_THROW(run.search("hit", dir.path(), "*.txt"), std::runtime_error);
    EXPECT_FALSE(run.driver.running());
    run.host.onPump = nullptr;
    EXPECT_EQ(run.search("hit", dir.path(), "*.txt"), RunOutcome::Completed);
    EXPECT_EQ(run.driver.counters().totalHits, 1);
}

// The date and size filters of the options shape the file list; bounds are inclusive.
TEST(RunDriver, DateAndSizeFiltersLeaveFilesOut)
{
    TempDir dir;
    auto setTime = [](const std::string& path, int64_t unixSeconds) {
        const struct timespec times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    auto fileTime = [](int64_t unixSeconds) { return (unixSeconds + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond; };
    const int64_t march1 = 1772323200; // 2026-03-01 00:00:00 UTC
    const int64_t day = 86400;
    writeFile(dir.file("small.txt"), std::string(1020, 'x') + "hit"); // 1023 bytes
    writeFile(dir.file("exact.txt"), std::string(1021, 'x') + "hit"); // 1024 bytes
    writeFile(dir.file("lastday.txt"), std::string(2000, 'x') + "hit");
    writeFile(dir.file("april.txt"), std::string(2000, 'x') + "hit");
    setTime(dir.file("small.txt"), march1 + 5 * day);
    setTime(dir.file("exact.txt"), march1); // on the earliest bound itself
    setTime(dir.file("lastday.txt"), march1 + 30 * day + 18 * 3600); // 31 March, 18:00
    setTime(dir.file("april.txt"), march1 + 31 * day);              // 1 April
    SearchRun run;
    run.search("hit", dir.path(), "*.txt", 102400, false, [&](SearchRequest& r) {
        r.options.minSize = 1024;
        r.options.minDate = fileTime(march1);
        r.options.maxDate = fileTime(march1 + 31 * day - 1);
        r.options.displayFileStats = false;
    });
    std::vector<std::string> files;
    for (const std::string& l : shownLines(run.view))
        if (l.rfind("Processing file : ", 0) == 0)
            files.push_back(l.substr(l.rfind('/') + 1));
    EXPECT_EQ(files, (std::vector<std::string>{"exact.txt", "lastday.txt"}));
}

TEST(RunDriver, OutputFileGetsHeadingAndLinesWithCrLf)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "the word here\n");
    SearchRun run;
    run.search("word", dir.path(), "*.txt", 102400, false, [&](SearchRequest& r) {
        r.options.outputFile = dir.file("out.log");
        r.options.beforeHit = "[";
        r.options.afterHit = "]";
    });
    const std::string out = test::readFile(dir.file("out.log"));
    EXPECT_NE(out.find("Search String: word\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nProcessing file : " + dir.file("a.txt") + "\r\nLine   1 - the [word] here\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("Searched 1 file(s), found 1 occurrences in 1 file(s)\r\n"), std::string::npos);
    EXPECT_EQ(out.find('\x01'), std::string::npos);
}

TEST(RunDriver, OutputFileThatCannotBeCreatedIsReportedAndTheRunGoesOn)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "word\n");
    SearchRun run;
    run.search("word", dir.path(), "*.txt", 102400, false,
               [&](SearchRequest& r) { r.options.outputFile = dir.file("missing/dir/out.log"); });
    const auto lines = shownLines(run.view);
    EXPECT_EQ(lines.front(), "Error writing to output file out.log");
    EXPECT_EQ(lines.back(), "Searched 1 file(s), found 1 occurrences in 1 file(s)");
}

TEST(RunDriver, DefaultPrinterPrintsTheOutputFromATemporaryFile)
{
    test::ScopedTmpDir tmp;
    TempDir dir;
    writeFile(dir.file("a.txt"), "the word here\n");
    for (const bool listOnly : {false, true}) {
        SearchRun run;
        run.host.printer = "Office";
        // Written in capitals: the name is compared without regard to case.
        run.search(listOnly ? "" : "word", dir.path(), "*.txt", 102400, false,
                   [](SearchRequest& r) { r.options.outputFile = "DEFAULT PRINTER"; });
        ASSERT_EQ(run.host.printed.size(), 1u) << listOnly;
        const FakeHost::Printed& p = run.host.printed[0];
        EXPECT_EQ(p.printer, "Office");
        EXPECT_EQ(p.path.rfind(tmp.path() + "TWP", 0), 0u) << p.path;
        EXPECT_NE(p.content.find(listOnly ? dir.file("a.txt") + "\r\n" : "Line   1 - the <word> here\r\n"),
                  std::string::npos)
            << p.content;
        if (!listOnly) {
            EXPECT_NE(p.content.find("Search String: word\r\n"), std::string::npos) << p.content;
        }
        // Printed, then deleted.
        EXPECT_FALSE(std::filesystem::exists(p.path));
        EXPECT_TRUE(run.host.messages.empty());
    }
}

TEST(RunDriver, DefaultPrinterWithoutAPrinterIsAnOrdinaryFileAndSaysSo)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "word\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    SearchRun run;
    run.search("word", dir.path(), "*.txt", 102400, false,
               [](SearchRequest& r) { r.options.outputFile = "Default Printer"; });
    std::filesystem::current_path(before);
    EXPECT_TRUE(run.host.printed.empty());
    ASSERT_EQ(run.host.messages.size(), 1u);
    EXPECT_EQ(run.host.messages[0],
              "No default printer is available: the results are written to the file " + dir.file("Default Printer"));
    EXPECT_NE(test::readFile(dir.file("Default Printer")).find("Line   1 - <word>\r\n"), std::string::npos);
}

// A file system whose files fail on open or on read, to test per-file errors.
class FaultyFs : public FileSystem {
public:
    std::unique_ptr<File> openRead(const std::string& path, int* error) override
    {
        if (path.find("locked") != std::string::npos)
            return nullptr;
        auto f = realFileSystem().openRead(path, error);
        if (f && (path.find("broken") != std::string::npos || path.find("noseek") != std::string::npos))
            return std::make_unique<BrokenFile>(std::move(f), path.find("noseek") != std::string::npos);
        return f;
    }
    std::unique_ptr<File> openWrite(const std::string& p, bool c, bool t, int* e) override
    {
        return realFileSystem().openWrite(p, c, t, e);
    }
    std::unique_ptr<File> createTemp(const std::string& prefix, int* e) override
    {
        return realFileSystem().createTemp(prefix, e);
    }
    bool status(const std::string& p, FileStatus* o, bool f) override { return realFileSystem().status(p, o, f); }
    bool listDirectory(const std::string& p, std::vector<DirEntry>* o) override
    {
        return realFileSystem().listDirectory(p, o);
    }
    bool removeFile(const std::string& p) override { return realFileSystem().removeFile(p); }

private:
    struct BrokenFile : File {
        BrokenFile(std::unique_ptr<File> f, bool noSeek) : inner(std::move(f)), unseekable(noSeek) {}
        int64_t read(void*, size_t) override { return -1; }
        bool write(const void*, size_t) override { return false; }
        bool seek(int64_t o) override { return !unseekable && inner->seek(o); }
        int64_t position() override { return inner->position(); }
        bool truncate(int64_t) override { return false; }
        bool sync() override { return false; }
        const std::string& path() const override { return inner->path(); }
        bool status(FileStatus* out) override { return inner->status(out); }
        std::unique_ptr<File> inner;
        bool unseekable;
    };
};

TEST(RunDriver, FilesThatCannotBeOpenedOrReadGetAnErrorLineAndTheRunGoesOn)
{
    TempDir dir;
    writeFile(dir.file("a_locked.txt"), "x\n");
    writeFile(dir.file("b_broken.txt"), "x\n");
    writeFile(dir.file("c.txt"), "x\n");
    writeFile(dir.file("d_noseek.txt"), "x\n");
    FaultyFs fs;
    FakeHost host;
    MemoryResultsView view;
    ResultsList results(fs);
    results.setView(&view);
    RunDriver driver(host, results, fs);
    SearchRequest req;
    req.pairs.push_back(SearchPair{});
    req.pairs[0].searchText = "x";
    req.pathMasks.push_back({dir.path(), "*.txt"});
    req.quiet = true;
    driver.ExecuteRun(req);
    const std::vector<std::string> expect = {
        "Error opening a_locked.txt",
        "Error reading file " + dir.file("b_broken.txt"),
        "Processing file : " + dir.file("c.txt"),
        "Line   1 - <x>",
        "Found 1 occurrences.",
        "Error seeking in file d_noseek.txt",
        "Searched 4 file(s), found 1 occurrences in 1 file(s)",
    };
    EXPECT_EQ(shownLines(view), expect);
}

TEST(RunDriver, BinaryFilesGetOffsets)
{
    TempDir dir;
    std::string data(300, 'z');
    data[5] = '\0';
    data.replace(200, 3, "key");
    writeFile(dir.file("bin.dat"), data);
    SearchRun run;
    run.search("key", dir.path(), "*.dat");
    // The context starts after the NUL and runs to the end of the displayable bytes.
    EXPECT_EQ(shownLines(run.view)[1], "Offset 0xc8     - " + std::string(194, 'z') + "<key>" + std::string(97, 'z'));
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// "Use Ignore Files" takes the ignored files out of a run, in the archive walk too, and a
// list kept by "Cache File List" under the other setting is not reused.
TEST(RunDriver, IgnoreFilesSettingChangesTheListAndTheCacheKey)
{
    TempDir dir;
    writeFile(dir.file(".gitignore"), "gen/\n*.zip\n");
    writeFile(dir.file("a.txt"), "needle\n");
    writeFile(dir.file("gen/b.txt"), "needle\n");
    writeFile(dir.file("c.zip"), "not an archive\n");
    SearchRun run;
    auto withIgnore = [](bool on) {
        return [on](SearchRequest& r) {
            r.options.cacheFileList = true;
            r.options.useIgnoreFiles = on;
            r.searchZips = true;
            r.zipMask = "*.zip";
        };
    };
    ASSERT_EQ(run.search("needle", dir.path(), "*.txt", 102400, true, withIgnore(false)), RunOutcome::Completed);
    EXPECT_EQ(run.driver.counters().totalHits, 2);
    EXPECT_EQ(run.driver.counters().fileErrors, 1); // c.zip is no archive
    ASSERT_EQ(run.search("needle", dir.path(), "*.txt", 102400, true, withIgnore(true)), RunOutcome::Completed);
    EXPECT_EQ(run.driver.counters().totalHits, 1);
    EXPECT_EQ(run.driver.counters().fileErrors, 0);
    ASSERT_EQ(run.search("needle", dir.path(), "*.txt", 102400, true, withIgnore(false)), RunOutcome::Completed);
    EXPECT_EQ(run.driver.counters().totalHits, 2);
}

} // namespace
} // namespace tw
