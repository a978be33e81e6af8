// A decision on each scanned file (the hook, and a script's expression): a dropped file
// shows no line, adds nothing to the totals, summaries or per-pair tallies, and a dropped
// replace leaves the file as it was, on one thread and on several. A script with several
// path entries keeps each entry's backups apart.
#include "core/RunDriver.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace tw {
namespace {

using test::FakeHost;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr int kFiles = 30;

// File i holds i % 4 "cat" and i % 3 "dog", among lines without either.
std::string contentOf(int i)
{
    std::string text = "first line\n";
    for (int c = 0; c < i % 4; ++c)
        text += "a cat here\nfiller\n";
    for (int d = 0; d < i % 3; ++d)
        text += "one dog\n";
    return text + "last line\n";
}
std::string nameOf(int i) { return "d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt"; }
// The decision under test, on the per-pair counters: at least as many cats as dogs.
bool kept(int i) { return i % 4 >= i % 3; }

struct DecisionRun {
    FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    SearchRequest req;
    std::set<std::string> decided; // the paths the decision saw

    DecisionRun(const TempDir& dir, bool replace, size_t threads, bool withDecision)
    {
        results.setView(&view);
        for (const char* text : {"cat", "dog"}) {
            SearchPair p;
            p.searchText = text;
            p.replaceText = std::string(text) + "s";
            req.pairs.push_back(p);
        }
        req.pathMasks.push_back({dir.path(), "*.txt"});
        req.searchSubdirectories = true;
        req.replaceMode = replace;
        req.quiet = true;
        req.threads = threads;
        req.pairsFromScript = true;
        req.options.promptMode = 2;
        req.options.maxRegexSize = 32767;
        req.options.cacheFileList = false;
        req.options.displayFileStats = true;
        req.options.backupPath = dir.file("backup");
        if (withDecision)
            driver.setFileDecision([this](const FileReport& r) {
                decided.insert(r.state.path);
                return r.state.pairCounts[0].hits >= r.state.pairCounts[1].hits;
            });
    }
    // Every line but the closing summaries.
    std::vector<std::string> body() const
    {
        std::vector<std::string> out;
        for (const ResultEntry& e : view.lines)
            if (e.kind != LineKind::Summary && e.kind != LineKind::PairSummary)
                out.push_back(e.path + "|" + e.text);
        return out;
    }
    std::vector<std::string> summaries() const
    {
        std::vector<std::string> out;
        for (const ResultEntry& e : view.lines)
            if (e.kind == LineKind::Summary || e.kind == LineKind::PairSummary)
                out.push_back(e.text.substr(e.text.find_first_not_of('\x01'))); // past the name markers
        return out;
    }
};

void makeFiles(const TempDir& dir)
{
    for (int i = 0; i < kFiles; ++i)
        writeFile(dir.file(nameOf(i)), contentOf(i));
}

TEST(FileDecision, DroppedSearchFilesLeaveNoTrace)
{
    TempDir dir;
    makeFiles(dir);
    // The lines of the run without a decision, less those of the dropped files.
    DecisionRun all(dir, false, 1, false);
    ASSERT_EQ(all.driver.ExecuteRun(all.req), RunOutcome::Completed);
    std::set<std::string> dropped;
    long hits = 0, withHits = 0, cats = 0, catFiles = 0, dogFiles = 0;
    for (int i = 0; i < kFiles; ++i) {
        if (!kept(i)) {
            dropped.insert(dir.file(nameOf(i)));
            continue;
        }
        hits += i % 4 + i % 3;
        withHits += (i % 4 + i % 3) > 0;
        cats += i % 4;
        catFiles += i % 4 > 0;
        dogFiles += i % 3 > 0;
    }
    ASSERT_FALSE(dropped.empty());
    std::vector<std::string> expect;
    for (const std::string& line : all.body())
        if (!dropped.count(line.substr(0, line.find('|'))))
            expect.push_back(line);
    ASSERT_LT(expect.size(), all.body().size());
    for (const size_t threads : {size_t{1}, size_t{3}}) {
        SCOPED_TRACE(threads);
        DecisionRun run(dir, false, threads, true);
        ASSERT_EQ(run.driver.ExecuteRun(run.req), RunOutcome::Completed);
        EXPECT_EQ(run.decided.size(), static_cast<size_t>(kFiles));
        EXPECT_EQ(run.body(), expect);
        // A dropped file was searched, and adds nothing else.
        const std::string searched = "Searched " + std::to_string(kFiles) + " file(s), found ";
        EXPECT_EQ(run.summaries(),
                  (std::vector<std::string>{
                      searched + std::to_string(hits) + " occurrences in " + std::to_string(withHits) + " file(s)",
                      "cat - " + searched + std::to_string(cats) + " occurrences in " + std::to_string(catFiles) +
                          " file(s)",
                      "dog - " + searched + std::to_string(hits - cats) + " occurrences in " +
                          std::to_string(dogFiles) + " file(s)"}));
        EXPECT_EQ(run.driver.counters().filesSearched, kFiles);
        EXPECT_EQ(run.driver.counters().totalHits, hits);
        EXPECT_EQ(run.driver.counters().filesWithHits, withHits);
        EXPECT_EQ(run.req.pairs[0].totalHits, cats);
    }
}

TEST(FileDecision, DroppedReplaceFilesStayAsTheyWere)
{
    TempDir dir;
    makeFiles(dir);
    DecisionRun run(dir, true, 1, true);
    ASSERT_EQ(run.driver.ExecuteRun(run.req), RunOutcome::Completed);
    long replaced = 0;
    for (int i = 0; i < kFiles; ++i) {
        SCOPED_TRACE(nameOf(i));
        const std::string path = dir.file(nameOf(i));
        const bool changes = i % 4 + i % 3 > 0;
        const bool backedUp = std::filesystem::exists(dir.file("backup/" + nameOf(i)));
        if (kept(i) && changes) {
            EXPECT_NE(readFile(path), contentOf(i));
            EXPECT_TRUE(backedUp);
            ++replaced;
        } else {
            EXPECT_EQ(readFile(path), contentOf(i));
            EXPECT_FALSE(backedUp);
        }
        if (kept(i))
            continue;
        // Nothing names a dropped file: no file, hit, count, backup or undo line.
        for (const ResultEntry& e : run.view.lines) {
            EXPECT_NE(e.path, path) << e.text;
            EXPECT_EQ(e.text.find("/f" + std::to_string(i) + ".txt"), std::string::npos) << e.text;
        }
    }
    ASSERT_GT(replaced, 0);
    EXPECT_EQ(run.driver.counters().filesReplaced, replaced);
}

// The expression of the request: "E1 AND NOT E2" keeps the files with a cat and no dog.
TEST(FileDecision, ExpressionKeepsWhatItSelects)
{
    TempDir dir;
    makeFiles(dir);
    std::vector<std::string> first;
    for (const size_t threads : {size_t{1}, size_t{3}}) {
        SCOPED_TRACE(threads);
        DecisionRun run(dir, false, threads, false);
        run.req.expression = "E1 AND NOT E2";
        run.req.options.showFilesWithoutHits = true;
        ASSERT_EQ(run.driver.ExecuteRun(run.req), RunOutcome::Completed);
        long hits = 0, withHits = 0;
        for (int i = 0; i < kFiles; ++i) {
            const bool keep = i % 4 > 0 && i % 3 == 0;
            hits += keep ? i % 4 : 0;
            withHits += keep;
            // A dropped file counts as one without hits: its file line and nothing more.
            std::vector<std::string> lines;
            for (const ResultEntry& e : run.view.lines)
                if (e.path == dir.file(nameOf(i)) && e.kind != LineKind::File)
                    lines.push_back(e.text);
            if (keep)
                EXPECT_EQ(lines.back(), "Found " + std::to_string(i % 4) + " occurrences.") << i;
            else
                EXPECT_EQ(lines, std::vector<std::string>{"No occurrences found!"}) << i;
        }
        EXPECT_EQ(run.driver.counters().totalHits, hits);
        EXPECT_EQ(run.driver.counters().filesWithHits, withHits);
        if (first.empty())
            first = run.body();
        else
            EXPECT_EQ(run.body(), first);
    }
}

TEST(FileDecision, UnusableExpressionRunsNothing)
{
    TempDir dir;
    makeFiles(dir);
    for (const char* expression : {"E3", "E1 OR FOO", "(E1", "E1 AND"}) {
        SCOPED_TRACE(expression);
        DecisionRun run(dir, false, 1, false);
        run.req.expression = expression;
        EXPECT_EQ(run.driver.ExecuteRun(run.req), RunOutcome::NotRun);
        ASSERT_EQ(run.host.messages.size(), 1u);
        if (expression[1] == '3') {
            EXPECT_EQ(run.host.messages[0], "Cannot use variable E3");
        }
        EXPECT_EQ(run.driver.counters().filesSearched, 0);
        EXPECT_TRUE(run.view.lines.empty());
    }
}

// A replace script over two path entries: the backups of each entry under "PathN/", and the
// files its expression drops left alone. With one entry the backups go straight below.
TEST(FileDecision, ScriptPathEntriesKeepTheirBackupsApart)
{
    TempDir dir;
    makeFiles(dir);
    DecisionRun run(dir, true, 1, false);
    run.req.pathMasks = {{dir.file("d1/"), "*.txt"}, {dir.file("d2/"), "*.txt"}};
    run.req.pathsFromScript = true;
    run.req.expression = "E1 > 1";
    ASSERT_EQ(run.driver.ExecuteRun(run.req), RunOutcome::Completed);
    long replaced = 0;
    for (int i = 0; i < kFiles; ++i) {
        SCOPED_TRACE(nameOf(i));
        const int entry = i % 3; // 0: not below either entry
        const bool rewritten = entry > 0 && i % 4 > 1;
        EXPECT_EQ(readFile(dir.file(nameOf(i))) != contentOf(i), rewritten);
        const std::string backup = "backup/Path" + std::to_string(entry) + "/f" + std::to_string(i) + ".txt";
        EXPECT_EQ(std::filesystem::exists(dir.file(backup)), rewritten);
        replaced += rewritten;
    }
    ASSERT_GT(replaced, 0);
    EXPECT_EQ(run.driver.counters().filesReplaced, replaced);

    TempDir one;
    makeFiles(one);
    DecisionRun single(one, true, 1, false);
    single.req.pathMasks = {{one.file("d1/"), "*.txt"}};
    single.req.pathsFromScript = true;
    ASSERT_EQ(single.driver.ExecuteRun(single.req), RunOutcome::Completed);
    EXPECT_TRUE(std::filesystem::exists(one.file("backup/f1.txt")));
    EXPECT_FALSE(std::filesystem::exists(one.file("backup/Path1")));
}

} // namespace
} // namespace tw
