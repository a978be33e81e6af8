// Replace runs through the driver: the streamed rewrite must equal an in-memory
// replace-all, whatever the block size, and questions steer what is replaced.
#include "core/RunDriver.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ScanTester.h"
#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace tw {
namespace {

using test::FakeHost;
using test::readFile;
using test::TempDir;
using test::writeFile;

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    std::string out;
    size_t p = 0;
    for (;;) {
        const size_t h = text.find(from, p);
        if (h == std::string::npos)
            break;
        out.append(text, p, h - p);
        out += to;
        p = h + from.size();
    }
    out.append(text, p, std::string::npos);
    return out;
}

struct ReplaceRun {
    FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    SearchRequest req;
    ReplaceRun(const std::string& dir, const std::string& mask)
    {
        results.setView(&view);
        req.replaceMode = true;
        req.quiet = true;
        req.options.promptMode = 2;
        req.pathMasks.push_back({dir, mask});
    }
    void addPair(const std::string& from, const std::string& to)
    {
        SearchPair p;
        p.searchText = from;
        p.replaceText = to;
        req.pairs.push_back(p);
    }
    RunOutcome run() { return driver.ExecuteRun(req); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const ResultEntry& e : view.lines)
            out.push_back(outputForm(e.text, "<", ">"));
        return out;
    }
};

// Random bytes, also NUL, CR and bytes that are no UTF-8 (so no UTF-16 form), replaced
// every way: each gives what an in-memory replace-all gives, and leaves no temporary file.
TEST(ReplaceRun, StreamedRewriteEqualsInMemoryReplaceAll)
{
    std::mt19937 rng(3);
    const std::string alphabet("ab\r\n\0\x80\xff ", 8);
    for (int round = 0; round < 60; ++round) {
        test::ScanCase c;
        c.content.resize(rng() % 3000);
        for (char& ch : c.content)
            ch = alphabet[rng() % alphabet.size()];
        std::string from(1 + rng() % 3, ' '), to(rng() % 5, ' ');
        for (char& ch : from)
            ch = alphabet[rng() % alphabet.size()];
        for (char& ch : to)
            ch = alphabet[rng() % alphabet.size()];
        c.pair = test::scanPair(from, to);
        c.blockSizes = {8 + rng() % 300, 8 + rng() % 300};
        c.output = replaceAll(c.content, from, to);
        test::checkScanCase(c, "round " + std::to_string(round));
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(ReplaceRun, SecondPairSeesTheFirstPairsResult)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "cat dog cat\n");
    ReplaceRun r(dir.path(), "*.txt");
    r.addPair("cat", "dog");
    r.addPair("dog", "bird");
    r.addPair("bird", "x");
    r.run();
    EXPECT_EQ(readFile(dir.file("a.txt")), "x x x\n");
    EXPECT_EQ(r.lines().back(), "Replaced 8 occurrences in 1 file(s)");
}

TEST(ReplaceRun, LinesAppearAfterTheFileIsDecidedWithTheSummaries)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "old\nold\n");
    writeFile(dir.file("b.txt"), "none\n");
    ReplaceRun r(dir.path(), "*.txt");
    r.addPair("old", "new");
    r.run();
    const std::vector<std::string> expect = {
        "Processing file : " + dir.file("a.txt"),
        "Line   1 - <old>",
        "Line   2 - <old>",
        "Found 2 occurrences.",
        "Searched 2 file(s), found 2 occurrences in 1 file(s)",
        "Replaced 2 occurrences in 1 file(s)",
    };
    EXPECT_EQ(r.lines(), expect);
    EXPECT_EQ(readFile(dir.file("a.txt")), "new\nnew\n");
}

TEST(ReplaceRun, PerHitAnswersDecideEachHit)
{
    struct Case {
        std::vector<Answer> answers;
        std::string a, b; // contents afterwards
        RunOutcome outcome;
    };
    const Case cases[] = {
        // Replace this, skip this, then yes to the file question; second file: replace all remaining.
        {{Answer::ReplaceThis, Answer::SkipThis, Answer::ReplaceThis, Answer::Yes, Answer::ReplaceAllRemaining},
         "N o N", "N N", RunOutcome::Completed},
        {{Answer::ReplaceRestInFile, Answer::SkipRestOfFile}, "N N N", "o o", RunOutcome::Completed},
        // Cancel at the first hit: nothing changes and the run stops.
        {{Answer::CancelRemaining}, "o o o", "o o", RunOutcome::Stopped},
        // The file question answered No leaves the file as it was.
        {{Answer::ReplaceRestInFile, Answer::SkipThis, Answer::ReplaceThis, Answer::No}, "N N N", "o o",
         RunOutcome::Completed},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir.file("a.txt"), "o o o");
        writeFile(dir.file("b.txt"), "o o");
        ReplaceRun r(dir.path(), "*.txt");
        r.req.options.promptMode = 0;
        r.req.options.backupPath = dir.file("bak");
        r.addPair("o", "N");
        r.host.answers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(r.run(), c.outcome);
        EXPECT_EQ(readFile(dir.file("a.txt")), c.a);
        EXPECT_EQ(readFile(dir.file("b.txt")), c.b);
        EXPECT_TRUE(r.host.answers.empty());
    }
}

TEST(ReplaceRun, OneHitReplacesOnlyTheFirstHit)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "x x x\n");
    ReplaceRun r(dir.path(), "*.txt");
    r.req.options.stopAfterFirstHit = true;
    r.addPair("x", "y");
    r.run();
    EXPECT_EQ(readFile(dir.file("a.txt")), "y x x\n");
    EXPECT_EQ(r.lines()[1], "Line   1 - <x> x x");
    EXPECT_EQ(r.lines()[2], "Found 3 occurrences.");
}

TEST(ReplaceRun, SpecialOperationsPrependAppendAndReformat)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "body\n");
    ReplaceRun r(dir.path(), "*.txt");
    SearchPair pre;
    pre.prependToFile = true;
    pre.replaceText = "head\n";
    SearchPair app;
    app.appendToFile = true;
    app.replaceText = "tail\n";
    r.req.pairs = {pre, app};
    r.run();
    EXPECT_EQ(readFile(dir.file("a.txt")), "head\nbody\ntail\n");
    const auto lines = r.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Replace string prepended to beginning of the file"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Replace string appended to end of the file"), lines.end());

    writeFile(dir.file("a.txt"), "aaa bbb ccc ddd\n");
    ReplaceRun f(dir.path(), "*.txt");
    SearchPair fmt;
    fmt.reformatColumns = 8;
    f.req.pairs = {fmt};
    f.run();
    EXPECT_EQ(readFile(dir.file("a.txt")), "aaa bbb\r\nccc ddd\r\n");
}

TEST(ReplaceRun, KeepsTheInodeAndPermissionsOfTheOriginal)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "keep me\n");
    ::chmod(dir.file("a.txt").c_str(), 0640);
    ::link(dir.file("a.txt").c_str(), dir.file("hard.lnk").c_str());
    struct stat before {};
    ::stat(dir.file("a.txt").c_str(), &before);
    ReplaceRun r(dir.path(), "*.txt");
    r.addPair("keep", "kept");
    r.run();
    struct stat after {};
    ::stat(dir.file("a.txt").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(dir.file("hard.lnk")), "kept me\n");
}

TEST(ReplaceRun, WriteToBackupDirLeavesTheOriginalAndTellsSo)
{
    TempDir dir;
    writeFile(dir.file("src/a.txt"), "old\n");
    ReplaceRun r(dir.file("src/"), "*.txt");
    r.req.quiet = false;
    r.req.options.writeToBackupDir = true;
    r.req.options.backupPath = dir.file("bak");
    r.addPair("old", "new");
    r.run();
    EXPECT_EQ(readFile(dir.file("src/a.txt")), "old\n");
    EXPECT_EQ(readFile(dir.file("bak/a.txt")), "new\n");
    ASSERT_FALSE(r.host.messages.empty());
    EXPECT_EQ(r.host.messages.back().substr(0, 52), "Replaced files were written to the backup directory ");
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// Whole-word literals and simple patterns through tiny blocks give what a plain
// in-memory rewrite gives.
TEST(ReplaceRun, WholeWordAndPatternRewritesMatchAReferenceAtAnyBlockSize)
{
    std::mt19937 rng(5);
    const std::string alphabet = "ab1 \n_";
    auto word = [](char c) { return c == 'a' || c == 'b' || c == '1' || c == '_'; };
    for (int round = 0; round < 60; ++round) {
        std::string text(rng() % 1500, ' ');
        for (char& c : text)
            c = alphabet[rng() % alphabet.size()];
        const bool pattern = round % 2 == 1;
        std::string expect;
        if (!pattern) {
            // Whole word "ab" -> "X".
            for (size_t p = 0; p < text.size();) {
                if (text.compare(p, 2, "ab") == 0 && (p == 0 || !word(text[p - 1])) &&
                    (p + 2 >= text.size() || !word(text[p + 2]))) {
                    expect += "X";
                    p += 2;
                } else {
                    expect += text[p++];
                }
            }
        } else {
            // "a" followed by one or more digits -> "[digits]".
            for (size_t p = 0; p < text.size();) {
                size_t q = p + 1;
                while (text[p] == 'a' && q < text.size() && text[q] == '1')
                    ++q;
                if (text[p] == 'a' && q > p + 1) {
                    expect += "[" + text.substr(p + 1, q - p - 1) + "]";
                    p = q;
                } else {
                    expect += text[p++];
                }
            }
        }
        test::ScanCase c;
        c.content = text;
        c.pair = pattern ? test::scanPair("a+[1]", "[%1]", true) : test::scanPair("ab", "X", false, true, true);
        c.blockSizes = {8 + rng() % 200, 8 + rng() % 200};
        c.output = expect;
        test::checkScanCase(c, "round " + std::to_string(round));
        if (::testing::Test::HasFailure())
            return;
    }
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// Passes everything to the real file system and counts the bytes written to and read from
// scratch files (the held-back store).
class ScratchCountingFs final : public test::ScratchWrappingFs {
public:
    int64_t written = 0, read = 0;

private:
    struct Counting final : test::ForwardingFile {
        Counting(std::unique_ptr<File> f, ScratchCountingFs& o) : ForwardingFile(std::move(f)), owner(o) {}
        int64_t read(void* b, size_t n) override
        {
            const int64_t got = ForwardingFile::read(b, n);
            owner.read += std::max<int64_t>(got, 0);
            return got;
        }
        bool write(const void* d, size_t n) override
        {
            owner.written += static_cast<int64_t>(n);
            return ForwardingFile::write(d, n);
        }
        ScratchCountingFs& owner;
    };
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override
    {
        return std::make_unique<Counting>(std::move(inner), *this);
    }
};

// Records how many lines each per-hit question was offered, without reading them.
class CountingHost final : public FakeHost {
public:
    std::vector<size_t> offered;
    Answer ask(Question kind, const std::string& text, const HeldBackLines& detail) override
    {
        if (kind == Question::ReplaceHit)
            offered.push_back(detail.count());
        return FakeHost::ask(kind, text, detail);
    }
};

// Asking about a hit must not read the held-back lines back: with many hits in one file
// that would cost time in the square of the hits. The store is read once, when the file's
// lines are flushed, however many questions were asked.
TEST(ReplaceRun, PerHitQuestionsDoNotReadTheHeldBackLinesBack)
{
    TempDir dir;
    const int hits = 600;
    std::string text;
    for (int i = 0; i < hits; ++i)
        text += std::string(1000, 'x') + " foo\n"; // long lines, so that the store spills
    writeFile(dir.file("a.txt"), text);
    CountingHost host;
    host.answers.assign(hits, Answer::ReplaceThis);
    host.answers.push_back(Answer::Yes);
    ScratchCountingFs fs;
    MemoryResultsView view;
    ResultsList results(fs);
    results.setView(&view);
    RunDriver driver(host, results);
    SearchRequest req;
    req.replaceMode = true;
    req.quiet = true;
    req.options.promptMode = 0;
    req.options.backupPath = dir.file("bak");
    req.pathMasks.push_back({dir.path(), "*.txt"});
    SearchPair pair;
    pair.searchText = "foo";
    pair.replaceText = "bar";
    req.pairs.push_back(pair);
    ASSERT_EQ(driver.ExecuteRun(req), RunOutcome::Completed);
    EXPECT_EQ(readFile(dir.file("a.txt")), replaceAll(text, "foo", "bar"));
    // Each question offers the file line and the hit lines so far, the current one included.
    ASSERT_EQ(host.offered.size(), static_cast<size_t>(hits));
    for (int i = 0; i < hits; ++i)
        ASSERT_EQ(host.offered[i], static_cast<size_t>(i + 2)) << "question " << i;
    ASSERT_GT(fs.written, 0) << "the held-back lines did not reach the store";
    EXPECT_LE(fs.read, fs.written);
    EXPECT_EQ(view.lines.size(), static_cast<size_t>(hits + 4)); // file line, hits, count, two summaries
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// The held-back lines keep their structure through the store: a reader finds the file, the
// line, the offsets and the kind in the fields, in agreement with the text.
TEST(ReplaceRun, HeldBackLinesKeepTheirFields)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "one\r\n\ttwo foo\nfoo\n");
    ReplaceRun r(dir.path(), "*.txt");
    r.addPair("foo", "bar");
    ASSERT_EQ(r.run(), RunOutcome::Completed);
    const std::string path = dir.file("a.txt");
    const auto& v = r.view.lines;
    ASSERT_EQ(v.size(), 6u) << ::testing::PrintToString(r.lines());
    EXPECT_EQ(v[0].kind, LineKind::File);
    EXPECT_EQ(v[0].path, path);
    struct Hit {
        long line;
        int64_t offset;
        int column;
    };
    const Hit hits[] = {{2, 10, 5}, {3, 14, 0}};
    for (int i = 0; i < 2; ++i) {
        const ResultEntry& e = v[1 + i];
        EXPECT_EQ(e.kind, LineKind::Hit);
        EXPECT_EQ(e.path, path);
        EXPECT_EQ(e.lineNumber, hits[i].line);
        EXPECT_EQ(e.fileOffset, hits[i].offset);
        EXPECT_EQ(e.hitColumn, hits[i].column);
        EXPECT_EQ(e.hitLength, 3);
        ListLine shown;
        listForm(e, shown);
        EXPECT_EQ(shown.text.substr(shown.hitBegin, shown.hitEnd - shown.hitBegin), "foo");
        EXPECT_EQ(shown.hitBegin, std::string("Line   2 - ").size() + static_cast<size_t>(e.hitColumn));
    }
    EXPECT_EQ(v[3].kind, LineKind::Count);
    EXPECT_EQ(v[3].path, path);
    EXPECT_EQ(v[4].kind, LineKind::Summary);
    EXPECT_EQ(v[5].kind, LineKind::Summary);
}

} // namespace
} // namespace tw
