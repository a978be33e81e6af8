// A search run on several threads must give what the same run gives on one: the same
// lines with the same fields in the same order, the same messages, output file, counters
// and outcome, for every output option, with archives, and when stopped part way.
#include "core/OrderedPipeline.h"
#include "core/RunDriver.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ScanTester.h"
#include "TestArchives.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using test::FakeHost;
using test::TempDir;

// Every field of a line, as one comparable text.
std::string describe(const ResultEntry& e)
{
    return std::to_string(static_cast<int>(e.kind)) + "|" + e.text + "|" + e.path + "|" + e.archivePath + "|" +
           std::to_string(e.lineNumber) + "|" + std::to_string(e.fileOffset) + "|" + std::to_string(e.hitColumn) +
           "|" + std::to_string(e.hitLength) + "|" + (e.binary ? "b" : "t");
}

// Keeps the lines; asks the run to stop once it has seen `stopAfter` of them.
class StoppingView final : public ResultsView {
public:
    void appendLine(const ResultEntry& entry) override
    {
        lines.push_back(describe(entry));
        kinds.push_back(entry.kind);
        if (driver && lines.size() == stopAfter)
            driver->requestStop();
        // While the run goes on, its thread opens descriptors of its own, with the numbers
        // the workers' tables give out too: one of theirs closed here would close one of these.
        if (lines.size() == 1)
            for (int i = 0; i < 8; ++i)
                held.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    bool heldIntact() const
    {
        return std::all_of(held.begin(), held.end(), [](int fd) { return ::fcntl(fd, F_GETFD) != -1; });
    }
    ~StoppingView() override
    {
        for (const int fd : held)
            ::close(fd);
    }
    std::vector<int> held;
    std::vector<std::string> lines;
    std::vector<LineKind> kinds;
    RunDriver* driver = nullptr;
    size_t stopAfter = 0; // 0: never
};

struct Outcome {
    RunOutcome outcome = RunOutcome::NotRun;
    std::vector<std::string> lines, messages;
    std::vector<LineKind> kinds;
    std::string output;
    long searched = 0, hits = 0, withHits = 0, errors = 0, archives = 0;
    bool descriptorsKept = false; // the descriptors the run's thread opened meanwhile stayed open
};

// A tree of text, binary, empty and large files in nested directories, two archives, a
// corrupt one, and a link the walk passes by.
void makeTree(const TempDir& dir, std::mt19937& rng)
{
    const char* words[] = {"cat", "Cat", "concat", "dog", " ", " ", "x", "\n", "\r\n", "cat\n"};
    for (int i = 0; i < 150; ++i) {
        std::string text;
        const int kind = static_cast<int>(rng() % 10);
        const size_t words_ = kind == 0 ? 0 : kind == 1 ? 40000 : 20 + rng() % 300;
        for (size_t w = 0; w < words_; ++w)
            text += words[rng() % 10];
        if (kind == 2)
            text.insert(text.size() / 2, std::string(3, '\0'));
        const std::string name = "d" + std::to_string(i % 4) + "/s" + std::to_string(i % 3) + "/f" +
                                 std::to_string(i) + (i % 7 == 0 ? ".log" : ".txt");
        test::writeFile(dir.file(name), text);
    }
    std::vector<test::Member> members;
    for (int m = 0; m < 6; ++m)
        members.push_back({"m" + std::to_string(m) + ".txt", std::string(m * 50, 'x') + "cat dog concat\ncat"});
    members.push_back({"sub/", {}, test::Kind::Dir});
    ASSERT_TRUE(test::writeArchive(dir.file("d1/a.zip"), "zip", members));
    ASSERT_TRUE(test::writeArchive(dir.file("d3/b.tar.gz"), "tar.gz", members));
    test::writeFile(dir.file("d2/bad.zip"), "PK\x03\x04 this is not really an archive cat");
    std::filesystem::create_symlink(dir.file("d0/s0/f00.txt"), dir.file("d0/link.txt"));
}

struct Combo {
    const char* text;
    const char* replace; // shown with "Display Replace String"
    bool regex, caseSensitive, wholeWord;
    bool showHitLines, fileStats, withoutHits, oneHit, showReplace, outputFile, zips;
    size_t blockSize;
};

// A driver whose lines go to a StoppingView.
struct Harness {
    Harness()
    {
        results.setView(&view);
        view.driver = &driver;
    }
    FakeHost host;
    StoppingView view;
    ResultsList results;
    RunDriver driver{host, results};
};

// With `list`, the run lists the files (ListFilesOnly) instead of searching them.
Outcome runOnce(const TempDir& dir, const Combo& c, size_t threads, size_t stopAfter = 0, bool list = false)
{
    Harness h;
    FakeHost& host = h.host;
    StoppingView& view = h.view;
    RunDriver& driver = h.driver;
    view.stopAfter = stopAfter;
    SearchRequest req;
    SearchPair pair;
    pair.searchText = c.text;
    pair.replaceText = c.replace;
    pair.regularExpression = c.regex;
    pair.caseSensitive = c.caseSensitive;
    pair.wholeWord = c.wholeWord;
    req.pairs.push_back(pair);
    req.pathMasks.push_back({dir.path(), "*.txt;*.log"});
    req.searchSubdirectories = true;
    req.searchZips = c.zips;
    req.zipMask = "*.zip;*.tar.gz";
    req.blockSize = c.blockSize;
    req.threads = threads;
    req.options.maxRegexSize = 32767;
    req.options.cacheFileList = false;
    req.options.showFirstHitLine = c.showHitLines;
    req.options.displayFileStats = c.fileStats;
    req.options.showFilesWithoutHits = c.withoutHits;
    req.options.stopAfterFirstHit = c.oneHit;
    req.options.displayReplaceString = c.showReplace;
    const std::string outFile = dir.file("out-" + std::to_string(threads) + ".lst");
    if (c.outputFile)
        req.options.outputFile = outFile;
    req.startedText = "start";
    Outcome o;
    o.outcome = list ? driver.ListFilesOnly(req) : driver.ExecuteRun(req);
    o.lines = view.lines;
    o.kinds = view.kinds;
    o.descriptorsKept = view.heldIntact();
    o.messages = host.messages;
    if (c.outputFile)
        o.output = test::readFile(outFile);
    const RunCounters& n = driver.counters();
    o.searched = n.filesSearched;
    o.hits = n.totalHits;
    o.withHits = n.filesWithHits;
    o.errors = n.fileErrors;
    o.archives = n.archivesDone;
    return o;
}

const Combo kCombos[] = {
    // text  replace  regex  case   word   lines  stats  w/o    one    repl   out    zips   block
    {"cat", "dog", false, true, false, true, true, false, false, false, false, true, 102400},
    {"cat", "dog", false, false, true, true, false, true, false, true, true, true, 4096},
    {"cat", "dog", false, true, false, false, true, true, false, false, true, false, 102400},
    {"cat", "dog", false, true, false, true, true, false, true, false, false, true, 512},
    {"c+[a-z]t", "dog", true, true, false, true, true, false, false, false, true, true, 102400},
    {"dog", "dog", false, false, false, true, false, false, false, true, false, true, 256},
    {"zzz", "dog", false, true, false, true, true, true, false, false, true, true, 102400},
};

TEST(ParallelRun, GivesTheResultsOfTheRunOnOneThread)
{
    TempDir dir;
    std::mt19937 rng(2024);
    makeTree(dir, rng);
    for (const Combo& c : kCombos) {
        SCOPED_TRACE(std::string(c.text) + " block " + std::to_string(c.blockSize));
        const Outcome one = runOnce(dir, c, 1);
        ASSERT_GT(one.searched, 100);
        for (const size_t threads : {size_t{2}, size_t{5}}) {
            const Outcome many = runOnce(dir, c, threads);
            EXPECT_EQ(many.outcome, one.outcome);
            ASSERT_EQ(many.lines, one.lines) << threads << " threads";
            EXPECT_EQ(many.messages, one.messages);
            EXPECT_EQ(many.output, one.output);
            EXPECT_EQ(many.searched, one.searched);
            EXPECT_EQ(many.hits, one.hits);
            EXPECT_EQ(many.withHits, one.withHits);
            EXPECT_EQ(many.errors, one.errors);
            EXPECT_EQ(many.archives, one.archives);
        }
    }
}

// A counter in the replace text counts the hits of the whole run in file order: with
// "Display Replace String" every shown replacement must be the number the run on one
// thread shows, whichever worker found the hit.
TEST(ParallelRun, AStoppedRunShowsAPrefixOfTheRunOnOneThread)
{
    TempDir dir;
    std::mt19937 rng(77);
    makeTree(dir, rng);
    const Combo& c = kCombos[0];
    const Outcome full = runOnce(dir, c, 1);
    // The lines before the closing summaries.
    auto body = [](const Outcome& o) {
        size_t n = o.lines.size();
        while (n > 0 && (o.kinds[n - 1] == LineKind::Summary || o.kinds[n - 1] == LineKind::Notice))
            --n;
        return std::vector<std::string>(o.lines.begin(), o.lines.begin() + static_cast<long>(n));
    };
    const std::vector<std::string> all = body(full);
    ASSERT_GT(all.size(), 200u);
    for (int round = 0; round < 12; ++round) {
        const size_t stopAfter = 1 + rng() % (all.size() - 1);
        const Outcome stopped = runOnce(dir, c, 1 + rng() % 4, stopAfter);
        EXPECT_EQ(stopped.outcome, RunOutcome::Stopped);
        ASSERT_FALSE(stopped.lines.empty());
        EXPECT_EQ(stopped.kinds.back(), LineKind::Notice);
        EXPECT_NE(stopped.lines.back().find("|Execution interrupted by the user!|"), std::string::npos);
        // The file under way when the stop came shows its lines so far, then its count so far.
        std::vector<std::string> shown = body(stopped);
        if (!shown.empty() && stopped.kinds[shown.size() - 1] == LineKind::Count)
            shown.pop_back();
        ASSERT_GE(shown.size() + 1, stopAfter);
        ASSERT_LE(shown.size(), all.size());
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), all.begin())) << "stopped after " << stopAfter;
    }
}

// The run's thread keeps its descriptors: workers open and close their files in tables of
// their own, and none of theirs is closed, or left open, through the run's thread.
TEST(ParallelRun, LeavesTheDescriptorsOfTheRunsThreadAsTheyWere)
{
    TempDir dir;
    std::mt19937 rng(5);
    makeTree(dir, rng);
    auto open = [] { // this thread's descriptors, each with the file it names
        std::map<int, std::pair<dev_t, ino_t>> fds;
        for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
            struct stat st {};
            const int fd = std::stoi(e.path().filename().string());
            if (::fstat(fd, &st) == 0)
                fds[fd] = {st.st_dev, st.st_ino};
        }
        return fds;
    };
    const auto before = open();
    for (const Combo& c : {kCombos[0], kCombos[1]}) { // the second has an output file
        const Outcome o = runOnce(dir, c, 3);
        EXPECT_GT(o.searched, 100);
        EXPECT_TRUE(o.descriptorsKept);
    }
    EXPECT_EQ(open(), before);
}

// A threaded search walks as it searches; the list it leaves in the cache is the whole
// list, which the next run takes (a file added since is not seen), unless it was stopped or
// its driver keeps no list for a next run.
TEST(ParallelRun, AThreadedRunCachesTheWholeList)
{
    TempDir dir;
    std::mt19937 rng(12);
    makeTree(dir, rng);
    enum Mode { Kept, Stopped, RunsOnce };
    for (const Mode mode : {Kept, Stopped, RunsOnce}) {
        const bool stop = mode == Stopped;
        Harness h;
        StoppingView& view = h.view;
        RunDriver& driver = h.driver;
        view.stopAfter = stop ? 5 : 0;
        driver.setKeepsListForNextRun(mode != RunsOnce);
        SearchRequest req;
        SearchPair pair;
        pair.searchText = "cat";
        req.pairs.push_back(pair);
        req.pathMasks.push_back({dir.path(), "*.txt"});
        req.searchSubdirectories = true;
        req.blockSize = 102400;
        req.threads = 3;
        req.options.maxRegexSize = 32767;
        req.options.cacheFileList = true;
        driver.ExecuteRun(req);
        const long first = driver.counters().filesSearched;
        test::writeFile(dir.file("d0/late" + std::to_string(mode) + ".txt"), "cat");
        view.stopAfter = 0;
        driver.ExecuteRun(req);
        const long second = driver.counters().filesSearched;
        if (stop) {
            EXPECT_LT(first, 100) << "stopped early";
            EXPECT_GT(second, 120) << "a stopped run leaves no list to reuse";
        } else if (mode == RunsOnce) {
            EXPECT_EQ(second, first + 1) << "a driver that runs once keeps no list";
        } else {
            EXPECT_GT(first, 100);
            EXPECT_EQ(second, first) << "the cached list was reused";
        }
    }
}

// A listing walks on its own thread while the run's thread lists: the same lines (files,
// then archive members, then the summary), and a stop leaves a prefix of them.
TEST(ParallelRun, AListingGivesTheListOfTheRunOnOneThread)
{
    TempDir dir;
    std::mt19937 rng(31);
    makeTree(dir, rng);
    for (const Combo& c : {kCombos[0], kCombos[2]}) { // with and without archives
        const Outcome one = runOnce(dir, c, 1, 0, true);
        ASSERT_GT(one.lines.size(), 150u);
        for (const size_t threads : {size_t{2}, size_t{5}}) {
            const Outcome many = runOnce(dir, c, threads, 0, true);
            EXPECT_EQ(many.outcome, RunOutcome::Completed);
            ASSERT_EQ(many.lines, one.lines) << threads << " threads";
            EXPECT_EQ(many.messages, one.messages);
        }
        for (int round = 0; round < 6; ++round) {
            const size_t stopAfter = 1 + rng() % (one.lines.size() - 2);
            const Outcome stopped = runOnce(dir, c, 2, stopAfter, true);
            EXPECT_EQ(stopped.outcome, RunOutcome::Stopped);
            ASSERT_GE(stopped.lines.size(), stopAfter + 2); // the summary and the notice follow
            EXPECT_TRUE(std::equal(stopped.lines.begin(), stopped.lines.begin() + static_cast<long>(stopAfter),
                                   one.lines.begin()))
                << "stopped after " << stopAfter;
            EXPECT_NE(stopped.lines.back().find("|Execution interrupted by the user!|"), std::string::npos);
        }
    }
}

// "Display Replace String" on several threads shows each hit's replace text as one thread
// does, for every token of a replace text: the file tokens, environment tokens, element
// references with case changes, the tenth element, a literal percent sign, a "%" that
// makes the rest literal, escapes, and the counters that count on from file to file.
TEST(ParallelRun, ReplaceTextTokensShowTheSameAsOnOneThread)
{
    ::setenv("TW_SCAN_TOKEN", "v%1<(x)", 1);
    test::ScanCase c;
    c.content = "cat dog item7 Cat\r\nitem03 xyzw-12 abcdefghijk\ncat\n";
    c.copies = 99; // many files, so that both workers take some
    c.displayReplaceString = true;
    c.blockSizes = {4096}; // the boundaries are the other tests' business
    auto check = [&](const SearchPair& pair, const std::string& firstFile) {
        c.pair = pair;
        c.output = firstFile;
        test::checkScanCase(c, pair.searchText + " -> " + pair.replaceText);
    };
    check(test::scanPair("cat", "%%TWFILE%%|%%twPath%%", false, false),
          "f00.txt| dog item7 f00.txt|\r\nitem03 xyzw-12 abcdefghijk\nf00.txt|\n");
    check(test::scanPair("dog", "[%%ENVVAR=TW_SCAN_TOKEN%%]"),
          "cat [v%1<(x)] item7 Cat\r\nitem03 xyzw-12 abcdefghijk\ncat\n");
    // Group 1 upper case, set 2 lower and upper case; the variable's value stays literal.
    check(test::scanPair("(c|d)+[a-z]", "%1>%2<%2>-%%ENVVAR=TW_SCAN_TOKEN%%", true, false),
          "CatAT-v%1<(x) DogOG-v%1<(x) item7 CatAT-v%1<(x)\r\n"
          "item03 xyzw-12 abCdefghijkDEFGHIJK-v%1<(x)\nCatAT-v%1<(x)\n");
    // "%:" is part 10; part 11 does not exist.
    check(test::scanPair("??????????k", "%:%1|%;%%TWFILE%%", true),
          "cat dog item7 Cat\r\nitem03 xyzw-12 ja|f00.txt\ncat\n");
    // "\%" is a percent sign; "%x" makes the rest literal, escapes expanded.
    check(test::scanPair("[xyz]+[a-z]", "50\\%%1 %x %1\\t", true),
          "cat dog item7 Cat\r\nitem03 50%x %x %1\t-12 abcdefghijk\ncat\n");

    // Counters count on over the files in the order of the run on one thread. Which
    // worker takes which files is the scheduler's choice: two block sizes give each
    // threaded way two chances to show a counter that a worker keeps for itself.
    c.blockSizes = {4096, 301};
    struct Counter {
        const char* replace;
        std::function<std::string(int)> nth; // the counter's text at the n-th hit (from 0)
    };
    const Counter counters[] = {
        {"item%1>", [](int n) { return "item" + std::to_string(8 + n); }},
        {"item%1<", [](int n) { return "item" + std::to_string(6 - n); }},
        {"#%1>100>", [](int n) { return "#" + std::to_string(101 + n); }},
        {"#%1>007>", [](int n) {
             const std::string v = std::to_string(8 + n);
             return "#" + std::string(3 - std::min<size_t>(3, v.size()), '0') + v;
         }},
    };
    for (const Counter& counter : counters) {
        std::vector<std::string> lines;
        for (int k = 0; k < c.copies; ++k) {
            lines.insert(lines.end(), {"Processing file : f" + std::to_string(k / 10) + std::to_string(k % 10) + ".txt",
                                       "Line   1 - cat dog <item7> Cat", counter.nth(2 * k),
                                       "Line   2 - <item03> xyzw-12 abcdefghijk", counter.nth(2 * k + 1),
                                       "Found 2 occurrences."});
        }
        lines.push_back("Searched 99 file(s), found 198 occurrences in 99 file(s)");
        c.lines = lines;
        check(test::scanPair("item+[0-9]", counter.replace, true),
              "cat dog " + counter.nth(0) + " Cat\r\n" + counter.nth(1) + " xyzw-12 abcdefghijk\ncat\n");
    }
}

// The pipeline itself: tasks of very different sizes under a small memory budget come out
// whole and in order, and a failing task ends the run with its exception.
TEST(OrderedPipeline, KeepsTaskOrderUnderASmallBudgetAndPassesFailuresOn)
{
    std::mt19937 rng(5);
    std::vector<size_t> sizes(300);
    for (size_t& s : sizes)
        s = rng() % 20 == 0 ? 20000 + rng() % 20000 : rng() % 50;
    auto produce = [&](size_t, size_t task, TaskOutput& out) {
        for (size_t i = 0; i < sizes[task]; ++i) {
            RecordedBatch& b = out.batch();
            b.events.emplace_back();
            b.events.back().index = static_cast<uint32_t>(i);
            b.events.back().text = b.store(std::to_string(task));
            if (b.bytes() >= out.batchLimit())
                out.publish();
        }
    };
    for (const size_t threads : {size_t{1}, size_t{3}, size_t{8}}) {
        OrderedPipeline pipeline(threads, 2 * threads, 1);
        size_t task = 0, next = 0;
        auto consume = [&](RecordedBatch& b) {
            for (const RecordedBatch::Event& ev : b.events) {
                while (next == sizes[task]) { // empty tasks hand on nothing
                    ++task;
                    next = 0;
                }
                EXPECT_EQ(b.view(ev.text), std::to_string(task));
                EXPECT_EQ(ev.index, next);
                ++next;
            }
            return true;
        };
        EXPECT_TRUE(pipeline.run(sizes.size(), produce, consume, [] {}));
        while (task < sizes.size() && next == sizes[task]) {
            ++task;
            next = 0;
        }
        EXPECT_EQ(task, sizes.size()) << threads;

        OrderedPipeline failing(threads, 2 * threads, 1);
        auto faulty = [&](size_t worker, size_t t, TaskOutput& out) {
            if (t == 100)
                throw std::runtime_error("task failed");
            produce(worker, t, out);
        };
        EXPECT_THROW(failing.run(sizes.size(), faulty, [](RecordedBatch&) { return true; }, [] {}),
                     std::runtime_error);

        // Tasks found a few at a time while the run goes (as a walk finds files) come out
        // the same; a feeder that fails, or a consumer that ends the run while more tasks
        // are still to be found, ends it without waiting for them.
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE(variant);
            OrderedPipeline fed(threads, 2 * threads, variant == 0 ? 1 : 8u << 20);
            size_t found = 0, calls = 0;
            std::mt19937 feedRng(static_cast<unsigned>(threads * 10 + static_cast<size_t>(variant)));
            const OrderedPipeline::Feeder feeder = [&](bool* more) {
                if (variant == 1 && ++calls == 20)
                    throw std::runtime_error("walk failed");
                found = std::min(sizes.size(), found + feedRng() % 7);
                *more = found < sizes.size();
                return found;
            };
            task = next = 0;
            size_t consumed = 0;
            auto count = [&](RecordedBatch& b) {
                const bool goOn = consume(b);
                return variant == 2 && ++consumed == 40 ? false : goOn;
            };
            if (variant == 1) {
                EXPECT_THROW(fed.run(feeder, threads, produce, count, [] {}), std::runtime_error);
                continue;
            }
            const bool completed = fed.run(feeder, 1 + feedRng() % (2 * threads), produce, count, [] {});
            EXPECT_EQ(completed, variant == 0);
            if (variant == 0) {
                while (task < sizes.size() && next == sizes[task]) {
                    ++task;
                    next = 0;
                }
                EXPECT_EQ(task, sizes.size());
            }
        }
    }
}

} // namespace
} // namespace tw
