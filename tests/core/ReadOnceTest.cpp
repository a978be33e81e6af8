// A search with several pairs reads each file once and leaves out the scans of pairs that
// cannot hit it. Whatever the pairs, files and options, and when files fail to be read,
// the run must give what the run whose every pair reads the file on its own gives: every
// line with every field, in the same order, the messages, the counters and the per-pair
// tallies.
#include "core/RunDriver.h"
#include "engine/Utf16Codec.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace tw {
namespace {

using test::TempDir;

// Files whose reads fail from a given offset on: a read that would go past it fails, as
// every read after it does, however the reads are cut.
class FailingReadsFs final : public test::ScratchWrappingFs {
public:
    std::map<std::string, int64_t> failAt; // path -> offset

    std::unique_ptr<File> openRead(const std::string& p, int* e) override
    {
        auto inner = realFileSystem().openRead(p, e);
        const auto it = failAt.find(p);
        if (!inner || it == failAt.end())
            return inner;
        return std::make_unique<Failing>(std::move(inner), it->second);
    }

private:
    struct Failing final : test::ForwardingFile {
        Failing(std::unique_ptr<File> f, int64_t at) : ForwardingFile(std::move(f)), at(at) {}
        int64_t read(void* b, size_t n) override
        {
            if (pos + static_cast<int64_t>(n) > at)
                return -1;
            const int64_t got = ForwardingFile::read(b, n);
            pos += got > 0 ? got : 0;
            return got;
        }
        bool seek(int64_t o) override
        {
            pos = o;
            return ForwardingFile::seek(o);
        }
        int64_t at, pos = 0;
    };
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override { return inner; }
};

struct ReadOutcome {
    std::vector<std::string> lines, messages;
    std::vector<long> counters;
};

ReadOutcome run(SearchRequest req, bool readOnce, FileSystem& fs)
{
    test::FakeHost host;
    MemoryResultsView view;
    ResultsList results(fs);
    results.setView(&view);
    RunDriver driver(host, results, fs);
    req.readFilesOnce = readOnce;
    ReadOutcome o;
    o.counters.push_back(static_cast<long>(driver.ExecuteRun(req)));
    for (const ResultEntry& e : view.lines)
        o.lines.push_back(std::to_string(static_cast<int>(e.kind)) + "|" + e.text + "|" + e.path + "|" +
                          std::to_string(e.lineNumber) + "|" + std::to_string(e.fileOffset) + "|" +
                          std::to_string(e.hitColumn) + "|" + std::to_string(e.hitLength) + (e.binary ? "|b" : "|t"));
    o.messages = host.messages;
    const RunCounters& n = driver.counters();
    o.counters.insert(o.counters.end(), {n.filesSearched, n.totalHits, n.filesWithHits, n.fileErrors});
    for (const SearchPair& p : req.pairs)
        o.counters.insert(o.counters.end(), {p.totalHits, p.filesWithHits});
    return o;
}

// Files of words that the pairs below find, nearly find (in other case, cut by a block
// edge, inside a longer word) or do not find; some binary, some with a byte-order mark
// (UTF-8 or UTF-16), some empty, and two beyond what a search keeps in memory.
void makeFiles(const TempDir& dir, std::mt19937& rng)
{
    const char* words[] = {"cat", "CAT", "concat", "dog", "do g", "do\t\tg", "Dog", "ca", "t", " ", "\n",
                           "\r\n", "x", "zebra", "\x01", "f3.txt", "\xc3\xa9t\xc3\xa9"};
    for (int i = 0; i < 24; ++i) {
        std::string text;
        const size_t count = i % 6 == 0 ? 0 : rng() % (i % 5 == 0 ? 3000 : 120);
        for (size_t w = 0; w < count; ++w)
            text += words[rng() % std::size(words)];
        if (i % 7 == 3)
            text.insert(text.size() / 3, std::string(1, '\0'));
        if (i % 8 == 5)
            text = "\xEF\xBB\xBF" + text;
        if (i % 8 == 6) {
            std::string wide = "\xFF\xFE";
            for (const char c : text)
                appendUtf16(wide, static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : U'?', Utf16Order::Little);
            text = wide;
        }
        test::writeFile(dir.file("f" + std::to_string(i) + ".txt"), text);
    }
    std::string big(size_t{4} << 20, 'q');
    for (int k = 0; k < 12; ++k)
        big.replace(rng() % (big.size() - 8), 3, k % 2 ? "dog" : "cat");
    test::writeFile(dir.file("big.dat"), big + "xCATx zebra"); // these two beyond the kept bytes
    // UTF-16 (big-endian) beyond the kept bytes, "cat" at its end.
    std::string wide = "\xFE\xFF";
    for (size_t i = 0; i < (size_t{5} << 19); ++i)
        wide += std::string("\0q", 2);
    test::writeFile(dir.file("big16.dat"), wide + std::string("\0c\0a\0t", 6));
}

SearchPair randomPair(std::mt19937& rng)
{
    const char* texts[] = {"cat", "Cat", "dog", "do g", "concat", "zebra", "absent", "%%TWFILE%%", "c+[a-z]t", "t"};
    SearchPair p;
    const size_t k = rng() % std::size(texts);
    p.searchText = texts[k];
    p.regularExpression = k == 8;
    p.caseSensitive = rng() % 2 == 0;
    p.wholeWord = rng() % 3 == 0;
    p.ignoreWhitespace = rng() % 2 == 0;
    if (rng() % 6 == 0) { // a binary block: bytes written as escapes
        p.searchText = kBinaryPlaceholder;
        p.binarySearchBlock = rng() % 2 ? "\\x01" : "t\\r\\n";
    }
    return p;
}

TEST(ReadOnce, GivesWhatEveryPairReadingTheFileGives)
{
    TempDir dir;
    std::mt19937 rng(2026);
    makeFiles(dir, rng);
    const size_t blocks[] = {16, 40, 97, 300, 102400};
    for (int round = 0; round < 40; ++round) {
        SearchRequest req;
        const size_t pairs = 2 + rng() % 6;
        for (size_t k = 0; k < pairs; ++k)
            req.pairs.push_back(randomPair(rng));
        req.blockSize = blocks[rng() % std::size(blocks)];
        // The large file only with large blocks: small ones make its pairs' scans slow.
        req.pathMasks.push_back({dir.path(), req.blockSize >= 300 ? "*.txt;*.dat" : "*.txt"});
        req.threads = 1 + rng() % 2;
        // Short hit lines make blocks shorter than the 1024 bytes that decide whether a
        // file is binary; a worker's first scan then decides on a shorter start than the
        // run on one thread does, so they are taken on one thread only.
        req.maxDisplayChars = rng() % 2 || req.threads > 1 ? 512 : 1 + static_cast<int>(rng() % 30);
        req.pairsFromScript = rng() % 2 == 0;
        req.options.maxRegexSize = 32767;
        req.options.cacheFileList = false;
        req.options.stopAfterFirstHit = rng() % 4 == 0;
        req.options.displayFileStats = rng() % 2 == 0;
        req.options.showFilesWithoutHits = rng() % 2 == 0;
        req.options.detectUtf16 = rng() % 3 != 0;
        req.startedText = "start";
        SCOPED_TRACE("round " + std::to_string(round) + ", block " + std::to_string(req.blockSize));
        // Every other round some files fail to be read part way.
        FailingReadsFs fs;
        if (round % 2)
            for (int i = 4; i < 24; i += 5)
                fs.failAt[dir.file("f" + std::to_string(i) + ".txt")] = static_cast<int64_t>(rng() % 400);
        const ReadOutcome each = run(req, false, fs);
        const ReadOutcome once = run(req, true, fs);
        ASSERT_GT(each.counters[1], 20); // files searched
        ASSERT_GT(each.counters[2], 0);  // hits
        if (round % 2) {
            ASSERT_GT(each.counters[4], 0); // the failing files did fail
        }
        EXPECT_EQ(once.lines, each.lines);
        EXPECT_EQ(once.messages, each.messages);
        EXPECT_EQ(once.counters, each.counters);
    }
}

} // namespace
} // namespace tw
