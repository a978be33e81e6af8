// The undo history's record of a replace run names, for each file, the size and SHA-256 of
// the content the run wrote; taking the run back refuses a file that no longer has them.
// Here every recorded hash must be that of the file after the run: over several pairs
// (alternating outputs), special operations, UTF-16 files, answered questions on the run's
// own thread, and the threaded run whose workers take the hashes as they write.
#include "core/RunDriver.h"
#include "core/UndoHistory.h"
#include "engine/Sha256.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ReplaceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string contentHash(const std::string& bytes)
{
    Sha256 s;
    s.update(bytes.data(), bytes.size());
    return Sha256::hex(s.finish());
}

std::string utf16le(const std::string& ascii)
{
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string utf16be(const std::string& ascii)
{
    std::string out("\xFE\xFF", 2);
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

// Words the pairs look for, line ends of both kinds, NULs; some files UTF-16, a few large
// enough to span several of the scanner's blocks.
std::map<std::string, std::string> randomTree(std::mt19937& rng, int files)
{
    const char* words[] = {"static", "int", "st", "x", " ", "\n", "\r\n", "\0", "atic", "Static"};
    std::map<std::string, std::string> t;
    for (int i = 0; i < files; ++i) {
        std::string text;
        const size_t count = rng() % 10 == 0 ? 0 : rng() % 8 == 0 ? 100000 : rng() % 500;
        for (size_t w = 0; w < count; ++w) {
            const size_t k = rng() % 10;
            text.append(words[k], k == 7 ? 1 : std::strlen(words[k]));
        }
        if (i % 7 == 3) {
            text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
            text = i % 2 ? utf16le(text) : utf16be(text);
        }
        t["d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".c"] = text;
    }
    return t;
}

// Answers each per-hit question at random (replace or skip this hit), anything else Yes.
class RandomAnswers final : public test::FakeHost {
public:
    explicit RandomAnswers(unsigned seed) : m_rng(seed) {}
    Answer ask(Question kind, const std::string& text, const HeldBackLines& held) override
    {
        (void)text;
        (void)held;
        ++asked;
        if (kind != Question::ReplaceHit)
            return Answer::Yes;
        return m_rng() % 3 == 0 ? Answer::SkipThis : Answer::ReplaceThis;
    }
    int asked = 0;

private:
    std::mt19937 m_rng;
};

struct Variant {
    int pairs = 0;         // which pairs (see addPairs)
    size_t threads = 1;
    bool askEveryHit = false;
    int64_t undoSpace = int64_t(1) << 30;
};

void addPairs(SearchRequest& req, int which)
{
    auto pair = [&](const char* from, const char* to, bool regex = false) {
        SearchPair p;
        p.searchText = from;
        p.replaceText = to;
        p.regularExpression = regex;
        req.pairs.push_back(p);
        return &req.pairs.back();
    };
    switch (which) {
    case 0:
        pair("static", "STATIC");
        break;
    case 1: // three pairs: each reads the output the one before wrote
        pair("static", "");
        pair("x", "longer text");
        pair("st", "s");
        break;
    case 2: // a pattern, then text added at the end of every file
        pair("s[a-z]+c", "Q", true);
        pair("", "appended\n")->appendToFile = true;
        break;
    case 3: // text added at the top, then a literal: the last output is a scan's
        pair("", "top line\n")->prependToFile = true;
        pair("int", "long");
        break;
    }
}

// Runs the replace over `tree` below `root` and checks the newest record of the history
// against the files as they are after it. Returns the number of files the run replaced.
long checkRecordedHashes(const std::string& root, const std::map<std::string, std::string>& tree, const Variant& v,
                         unsigned seed)
{
    fs::remove_all(root);
    for (const auto& [name, bytes] : tree)
        test::writeFile(root + name, bytes);
    RandomAnswers host(seed);
    ResultsList results;
    RunDriver driver(host, results, realFileSystem());
    SearchRequest req;
    req.replaceMode = true;
    req.quiet = true;
    req.threads = v.threads;
    req.options.promptMode = v.askEveryHit ? 0 : 2;
    req.options.cacheFileList = false;
    req.options.maxRegexSize = 32767;
    req.options.detectUtf16 = true;
    req.options.undoSpaceBytes = v.undoSpace;
    req.pathMasks.push_back({root, "*.c"});
    req.searchSubdirectories = true;
    addPairs(req, v.pairs);
    EXPECT_EQ(driver.ExecuteRun(req), RunOutcome::Completed);
    if (v.askEveryHit) {
        EXPECT_GT(host.asked, 0);
    }

    UndoHistory history(realFileSystem(), realFileOps(), dataDirectory());
    const std::optional<UndoRunRecord> run = history.lastOpenRun();
    const long replaced = driver.counters().filesReplaced;
    if (replaced == 0)
        return 0;
    EXPECT_TRUE(run.has_value());
    if (!run)
        return replaced;
    size_t large = 0; // originals too large for the undo space: never recorded
    for (const auto& [name, bytes] : tree)
        large += static_cast<int64_t>(bytes.size()) > v.undoSpace ? 1 : 0;
    size_t recorded = 0;
    for (const UndoFileRecord& f : run->files) {
        EXPECT_TRUE(f.complete) << f.path;
        const std::string now = test::readFile(f.path);
        EXPECT_EQ(f.size, static_cast<int64_t>(now.size())) << f.path;
        EXPECT_EQ(f.sha256, contentHash(now)) << f.path;
        ++recorded;
    }
    // Every replaced file is recorded unless it could not be kept.
    EXPECT_LE(recorded, static_cast<size_t>(replaced));
    EXPECT_GE(recorded + large, static_cast<size_t>(replaced));
    // Taking the run back finds every file as the run left it.
    for (const UndoFileCheck& c : history.check(*run))
        EXPECT_EQ(c.state, UndoFileState::WouldRestore) << c.record.path;
    // Each run's summary counts the bytes that reading its file lines counts.
    UndoSurvey survey = history.survey();
    for (UndoSurvey::Run& r : survey.runs) {
        const int64_t counted = r.bytes;
        history.resolveCopies(&r);
        EXPECT_EQ(counted, r.bytes) << r.name;
    }
    return replaced;
}

TEST(UndoHashRun, RecordedHashesAreThoseOfTheFilesAfterTheRun)
{
    test::DataTempDir dir;
    const std::string root = dir.path() + "tree/";
    std::mt19937 rng(2024);
    for (int round = 0; round < 8; ++round) {
        Variant v;
        v.pairs = round % 4;
        // A small undo space leaves the large originals out (and their outputs unhashed).
        v.undoSpace = round % 4 == 2 ? 200000 : int64_t(1) << 30;
        const auto tree = randomTree(rng, 40);
        for (const size_t threads : {size_t{1}, size_t{2}}) {
            v.threads = threads;
            SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(threads) + " threads");
            EXPECT_GT(checkRecordedHashes(root, tree, v, static_cast<unsigned>(round)), 10);
        }
        // On the run's own thread, with every hit asked about: the outputs differ from
        // the runs above, file by file.
        v.threads = 1;
        v.askEveryHit = true;
        SCOPED_TRACE("round " + std::to_string(round) + ", every hit asked");
        EXPECT_GT(checkRecordedHashes(root, tree, v, static_cast<unsigned>(round)), 5);
    }
}

} // namespace
} // namespace tw
