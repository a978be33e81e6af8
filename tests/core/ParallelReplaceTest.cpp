// A replace run that asks no questions scans on several threads and commits on its own:
// the tree, the results lines, the undo script and the backups must be those of the run
// on one thread (with every batch of rewrites done before the next file's commit), also
// when a file changes between its scan and its commit, when a write
// to a temporary output fails, and when the run is stopped part way.
#include "core/RunDriver.h"
#include "core/UndoScript.h"
#include "results/ResultsList.h"
#include "results/ResultText.h"

#include "FakeHost.h"
#include "ReplaceTestSupport.h"
#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sys/stat.h>

namespace tw {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>; // path below the root -> bytes

Tree readTree(const std::string& root)
{
    Tree t;
    if (!fs::exists(root))
        return t;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            t[fs::relative(e.path(), root).string()] = test::readFile(e.path().string());
    return t;
}

void writeTree(const std::string& root, const Tree& t)
{
    fs::remove_all(root);
    for (const auto& [name, bytes] : t)
        test::writeFile(root + name, bytes);
}

// Text with the words the pairs look for, some NULs, CRs, a UTF-16 file, a read-only one;
// at `poisoned` (when set) a line its temporary output cannot take.
Tree randomTree(std::mt19937& rng, int files, int poisoned)
{
    const char* words[] = {"static", "Static", "st", "atic", "sic", "x", " ", "\n", "\r\n", "\0"};
    Tree t;
    for (int i = 0; i < files; ++i) {
        std::string text;
        const size_t count = rng() % 9 == 0 ? 0 : rng() % 7 == 0 ? 30000 : rng() % 400;
        for (size_t w = 0; w < count; ++w) {
            const size_t k = rng() % 10;
            text.append(words[k], k == 9 ? 1 : std::strlen(words[k]));
        }
        if (i == poisoned)
            text += "\nPOISON\n";
        t["d" + std::to_string(i % 3) + "/s" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".c"] = text;
    }
    t["d1/wide.c"] = std::string("\xFF\xFE" "s\0t\0a\0t\0i\0c\0 \0x\0", 18);
    return t;
}

// Temporary outputs refuse a write holding "POISON", as a full disk would refuse it.
class PoisonFs final : public test::ScratchWrappingFs {
    class Refusing final : public test::ForwardingFile {
    public:
        using ForwardingFile::ForwardingFile;
        bool write(const void* d, size_t n) override
        {
            return std::string_view(static_cast<const char*>(d), n).find("POISON") == std::string_view::npos &&
                   ForwardingFile::write(d, n);
        }
    };
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override
    {
        return std::make_unique<Refusing>(std::move(inner));
    }
};

struct RunSetup {
    int variant = 0;
    bool backups = false, toBackupDir = false, oneHit = false, utf16 = true;
    int changedFile = -1; // changed by the decision, between its scan and its commit
    bool poison = false;
    size_t batch = 1024;  // originals rewritten together
    // Through a file system that keeps the writer on one thread: each batch is rewritten
    // when it is full, before the next file is committed.
    bool sequential = false;
};

struct Result {
    RunOutcome outcome = RunOutcome::NotRun;
    std::vector<std::string> lines, messages;
    Tree tree, backups;
    std::string undo;
    long replaced = 0, replacements = 0, errors = 0;
};

// Keeps the lines in their plain form; stops the run after `stopAfter` of them.
class Lines final : public ResultsView {
public:
    void appendLine(const ResultEntry& e) override
    {
        lines.push_back(std::to_string(static_cast<int>(e.kind)) + "|" + outputForm(e.text, "<", ">") + "|" +
                        e.path + "|" + std::to_string(e.lineNumber) + "|" + std::to_string(e.fileOffset));
        if (driver && lines.size() == stopAfter)
            driver->requestStop();
    }
    std::vector<std::string> lines;
    RunDriver* driver = nullptr;
    size_t stopAfter = 0; // 0: never
};

Result replaceRun(const test::DataTempDir& dir, const Tree& start, const RunSetup& s, size_t threads,
                  size_t stopAfter = 0)
{
    const std::string root = dir.path() + "tree/", bak = dir.path() + "bak/";
    const std::string undo = dir.path() + "data/tarnwick/" + kUndoScriptName;
    writeTree(root, start);
    fs::permissions(root + "d0/s0/f0.c", fs::perms::owner_read | fs::perms::group_read);
    fs::remove_all(bak);
    fs::remove(undo);
    test::FakeHost host;
    Lines view;
    ResultsList results;
    results.setView(&view);
    PoisonFs poison;
    RunDriver driver(host, results, s.poison || s.sequential ? static_cast<FileSystem&>(poison) : realFileSystem());
    driver.setRewriteBatchLimit(s.batch);
    view.driver = &driver;
    view.stopAfter = stopAfter;
    if (s.changedFile >= 0)
        driver.setFileDecision([&](const FileReport& r) {
            if (r.state.path == root + "d" + std::to_string(s.changedFile % 3) + "/s" +
                                    std::to_string(s.changedFile % 5) + "/f" + std::to_string(s.changedFile) + ".c")
                test::writeFile(r.state.path, test::readFile(r.state.path) + "!");
            return true;
        });
    SearchRequest req;
    req.replaceMode = true;
    req.quiet = true;
    req.threads = threads;
    req.options.promptMode = 2;
    req.options.cacheFileList = false;
    req.options.maxRegexSize = 32767;
    req.options.displayFileStats = true;
    req.options.stopAfterFirstHit = s.oneHit;
    req.options.detectUtf16 = s.utf16;
    req.options.backupPath = s.backups ? bak : "";
    req.options.writeToBackupDir = s.toBackupDir;
    req.pathMasks.push_back({root, "*.c"});
    req.searchSubdirectories = true;
    auto pair = [&](const char* from, const char* to, bool regex = false) {
        SearchPair p;
        p.searchText = from;
        p.replaceText = to;
        p.regularExpression = regex;
        req.pairs.push_back(p);
    };
    switch (s.variant) {
    case 0:
        pair("static", "STATIC");
        break;
    case 1:
        pair("s[a-z]+c", "Q", true);
        break;
    case 2: // the second pair reads the first one's output; a deletion; the file's name
        pair("static", "");
        pair("x", "<%%TWFILE%%>");
        pair("st", "stst");
        break;
    }
    Result r;
    r.outcome = driver.ExecuteRun(req);
    r.lines = view.lines;
    r.messages = host.messages;
    r.tree = readTree(root);
    r.backups = readTree(bak);
    r.undo = fs::exists(undo) ? test::readFile(undo) : "";
    r.replaced = driver.counters().filesReplaced;
    r.replacements = driver.counters().replacements;
    r.errors = driver.counters().fileErrors;
    return r;
}

TEST(ParallelReplace, GivesTheTreeLinesUndoAndBackupsOfOneThread)
{
    test::DataTempDir dir;
    std::mt19937 rng(77);
    for (int round = 0; round < 8; ++round) {
        RunSetup s;
        s.variant = round % 3;
        s.backups = rng() % 3 != 0;
        s.toBackupDir = s.backups && rng() % 4 == 0;
        s.oneHit = rng() % 4 == 0;
        s.utf16 = rng() % 3 != 0;
        s.changedFile = rng() % 2 ? 1 + static_cast<int>(rng() % 119) : -1; // f0 is read-only
        s.poison = round % 4 == 3;
        // Small batches: each full one is rewritten on another thread while the next is
        // staged, which must change nothing but the time taken.
        s.batch = round % 2 ? 1 + rng() % 9 : 1024;
        const Tree start = randomTree(rng, 120, s.poison ? static_cast<int>(rng() % 120) : -1);
        SCOPED_TRACE("round " + std::to_string(round) + ", batch " + std::to_string(s.batch));
        RunSetup sequential = s;
        sequential.sequential = true;
        const Result one = replaceRun(dir, start, sequential, 1);
        ASSERT_GT(one.replaced, s.poison ? -1 : 10);
        EXPECT_EQ(one.outcome, s.poison ? RunOutcome::Stopped : RunOutcome::Completed);
        // The file changed after its scan is refused at its commit.
        const std::string changed = "f" + std::to_string(s.changedFile) + ".c";
        if (!s.poison && s.changedFile >= 0 && start.at("d" + std::to_string(s.changedFile % 3) + "/s" +
                                                         std::to_string(s.changedFile % 5) + "/" + changed)
                                                       .find("static") != std::string::npos) {
            EXPECT_TRUE(std::any_of(one.lines.begin(), one.lines.end(), [&](const std::string& l) {
                return l.find("Error writing") != std::string::npos && l.find(changed) != std::string::npos;
            }));
        }
        for (const size_t threads : {size_t{1}, size_t{2}, size_t{5}}) {
            const Result many = replaceRun(dir, start, s, threads);
            EXPECT_EQ(many.outcome, one.outcome);
            ASSERT_EQ(many.lines, one.lines) << threads << " threads";
            EXPECT_EQ(many.messages, one.messages);
            EXPECT_TRUE(many.tree == one.tree);
            EXPECT_TRUE(many.backups == one.backups);
            EXPECT_EQ(many.undo, one.undo);
            EXPECT_EQ(many.replaced, one.replaced);
            EXPECT_EQ(many.replacements, one.replacements);
            EXPECT_EQ(many.errors, one.errors);
        }
    }
}

TEST(ParallelReplace, StoppedRunLeavesEachFileWholeOrUntouched)
{
    test::DataTempDir dir;
    std::mt19937 rng(5);
    const Tree start = randomTree(rng, 300, -1);
    RunSetup s;
    s.backups = true;
    const Result whole = replaceRun(dir, start, s, 1);
    ASSERT_EQ(whole.outcome, RunOutcome::Completed);
    for (const size_t stopAfter : {size_t{3}, size_t{40}, size_t{400}}) {
        const Result part = replaceRun(dir, start, s, 3, stopAfter);
        SCOPED_TRACE("stopped after line " + std::to_string(stopAfter));
        EXPECT_EQ(part.outcome, RunOutcome::Stopped);
        long changed = 0;
        for (const auto& [name, bytes] : part.tree) {
            const bool untouched = bytes == start.at(name), replaced = bytes == whole.tree.at(name);
            EXPECT_TRUE(untouched || replaced) << name;
            changed += untouched ? 0 : 1;
            // Every rewritten file has its backup and its undo line.
            if (!untouched) {
                EXPECT_EQ(part.backups.at(name), start.at(name)) << name;
                EXPECT_NE(part.undo.find(name), std::string::npos) << name;
            }
        }
        EXPECT_EQ(changed, part.replaced);
        EXPECT_LT(part.replaced, whole.replaced);
    }
}

} // namespace
} // namespace tw
