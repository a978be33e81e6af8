// A blockwise scan must give exactly what one scan over the whole file gives: the same hit
// lines and, in replace mode, the same output, for every operator of the pattern dialect
// and at block sizes that put hits, anchors and context across block boundaries.
#include "core/FileScanner.h"
#include "engine/LiteralScan.h"
#include "engine/PatternScan.h"

#include "FakeHost.h"
#include "ReplaceTestSupport.h"
#include "ScanTester.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tw {
namespace {

class StringSource final : public ByteSource {
public:
    explicit StringSource(const std::string& s) : m_data(s) {}
    int64_t read(void* buffer, size_t count) override
    {
        const size_t n = std::min(count, m_data.size() - m_pos);
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return static_cast<int64_t>(n);
    }

private:
    const std::string& m_data;
    size_t m_pos = 0;
};

class StringFile final : public File {
public:
    int64_t read(void*, size_t) override { return -1; }
    bool write(const void* d, size_t n) override
    {
        data.append(static_cast<const char*>(d), n);
        return true;
    }
    bool seek(int64_t) override { return true; }
    int64_t position() override { return static_cast<int64_t>(data.size()); }
    bool truncate(int64_t) override { return true; }
    bool sync() override { return true; }
    const std::string& path() const override { return m_path; }
    std::string data;

private:
    std::string m_path = "out";
};

// Replaces every hit.
class ReplaceAllHooks final : public ReplaceHooks {
public:
    File& output() override { return out; }
    bool hitVisible() override { return true; }
    bool decideHit(FileState&, const std::string&, const std::string&) override { return true; }
    void replaced() override {}
    void writeFailed(const FileState&, bool) override { ADD_FAILURE() << "write failed"; }
    StringFile out;
};

struct ScanResult {
    std::vector<std::string> lines;
    std::string output;
    long hits = 0;
};

ScanResult scan(const std::string& text, const SrchPattern* pattern, const std::string& literal, bool wholeWord,
                size_t blockSize, bool replace, int displayChars = 6)
{
    test::FakeHost host;
    test::RecordingSink sink;
    std::atomic<bool> stop{false};
    ScanSettings settings;
    settings.blockSize = blockSize;
    settings.displayReplaceString = true;
    // Short hit lines, so that the blocks stay as small as the matcher allows.
    settings.maxDisplayChars = displayChars;
    FileScanner scanner(settings, sink, host, stop);
    ActivePair pair;
    pair.replaceText = "<R>";
    if (pattern)
        pair.matcher = std::make_unique<PatternScan>(*pattern);
    else
        pair.matcher = std::make_unique<LiteralScan>(literal, true, wholeWord);
    FileState file;
    file.path = "f.txt";
    file.pairCounts.resize(1);
    StringSource source(text);
    ReplaceAllHooks hooks;
    EXPECT_EQ(scanner.scan(source, pair, 0, file, true, replace ? &hooks : nullptr), ScanOutcome::Done);
    return {sink.lines, hooks.out.data, file.totals().hits};
}

// A random pattern of the dialect: literals, sets, groups with alternatives, and every
// operator ('?', '*', '+' with its count forms, '!', '^', '$').
std::string randomPattern(std::mt19937& rng)
{
    static const char* const kOperands[] = {"", "[ab]", "[0-9]", "[a\\n]", "(ab|b)", "(a|1)", "[^a]", "(aa|a)"};
    static const char* const kOps[] = {"?", "*", "+", "+2", "+2+", "+1-3", "+-2", "!", "+5", "+2-7"};
    static const char* const kLiterals[] = {"a", "b", "ab", "1", " ", "ba", "a b"};
    std::string p;
    if (rng() % 3 == 0)
        p += '^';
    const int elements = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < elements; ++i) {
        if (rng() % 2 == 0) {
            p += kLiterals[rng() % std::size(kLiterals)];
        } else {
            const std::string op = kOps[rng() % std::size(kOps)];
            std::string operand = kOperands[rng() % std::size(kOperands)];
            // "!" needs something to reject and a neighbour to anchor it.
            if (op == "!" && operand.empty())
                operand = "(b)";
            p += op + operand;
            if (op == "!" || rng() % 2 == 0)
                p += kLiterals[rng() % std::size(kLiterals)];
        }
    }
    if (rng() % 3 == 0)
        p += '$';
    return p;
}

TEST(BlockBoundary, PatternScansAgreeWithAWholeFileScanAtEveryBlockSize)
{
    std::mt19937 rng(20261208);
    const std::string alphabet = "aab1 \n\r";
    size_t rounds = 0, withHits = 0;
    for (int round = 0; round < 500; ++round) {
        std::string text(100 + rng() % 2500, ' ');
        for (char& c : text)
            c = alphabet[rng() % alphabet.size()];
        const std::string patternText = randomPattern(rng);
        const std::string replace = rng() % 2 ? "[%1]" : "%2-%1";
        PatternOptions options;
        options.caseSensitive = rng() % 2 == 0;
        options.maxRepeat = 4 + static_cast<int>(rng() % 6); // keeps hits short against the blocks
        auto pattern = SrchPattern::compile(patternText, &replace, options);
        ASSERT_TRUE(pattern->ok()) << patternText;
        const bool replaceMode = round % 2 == 1;
        const ScanResult whole = scan(text, pattern.get(), {}, false, 1 << 20, replaceMode);
        for (const size_t block : {1ul, 7ul, 33ul, 100ul, 257ul}) {
            const ScanResult part = scan(text, pattern.get(), {}, false, block, replaceMode);
            ASSERT_EQ(part.lines, whole.lines) << "pattern " << patternText << " block " << block;
            ASSERT_EQ(part.hits, whole.hits) << "pattern " << patternText << " block " << block;
            if (replaceMode) {
                ASSERT_EQ(part.output, whole.output) << "pattern " << patternText << " block " << block;
            }
        }
        ++rounds;
        withHits += whole.hits > 0;
    }
    EXPECT_GT(withHits, rounds / 3); // most rounds compare real hits
}

TEST(BlockBoundary, LiteralScansAgreeWithAWholeFileScanAtEveryBlockSize)
{
    std::mt19937 rng(7);
    const std::string alphabet = "ab \n";
    for (int round = 0; round < 200; ++round) {
        std::string text(50 + rng() % 600, ' ');
        for (char& c : text)
            c = alphabet[rng() % alphabet.size()];
        std::string literal(1 + rng() % 4, ' ');
        for (char& c : literal)
            c = alphabet[rng() % alphabet.size()];
        const bool wholeWord = rng() % 2 == 0, replaceMode = rng() % 2 == 0;
        const ScanResult whole = scan(text, nullptr, literal, wholeWord, 1 << 20, replaceMode);
        for (const size_t block : {1ul, 5ul, 16ul, 61ul}) {
            const ScanResult part = scan(text, nullptr, literal, wholeWord, block, replaceMode);
            ASSERT_EQ(part.lines, whole.lines) << "literal '" << literal << "' block " << block;
            if (replaceMode) {
                ASSERT_EQ(part.output, whole.output) << "literal '" << literal << "' block " << block;
            }
        }
    }
}

// Random patterns through whole runs, every way (ScanTester.h): block sizes, threads, UTF-16
// files, archive members, search and replace.
TEST(BlockBoundary, RandomPatternsGiveTheSameEveryWay)
{
    std::mt19937 rng(20261210);
    const std::string alphabet = "aab1 \n\r";
    long withHits = 0;
    for (int round = 0; round < 40; ++round) {
        test::ScanCase c;
        c.content.resize(50 + rng() % 700);
        for (char& ch : c.content)
            ch = alphabet[rng() % alphabet.size()];
        c.pair = test::scanPair(randomPattern(rng), rng() % 2 ? "[%1]" : "%2-%1", true, rng() % 2 == 0);
        c.maxRegexSize = 4 + static_cast<int>(rng() % 6);
        c.maxDisplayChars = 6;
        c.displayReplaceString = true;
        c.blockSizes = {102400, 1 + rng() % 40, 41 + rng() % 200};
        withHits += test::checkScanCase(c, "pattern " + c.pair.searchText).hits > 0;
        if (::testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(withHits, 10);
}

// A line break shortly before the end of the default block, with the text after it: the
// "^" that needs the line break must still find its hit in the next block.
TEST(BlockBoundary, CaretAfterALineBreakNearTheBlockEnd)
{
    for (const size_t at : {102380ul, 102388ul, 102398ul, 102399ul, 102400ul}) {
        std::string text(at, 'x');
        text += "\nabc\nabc";
        auto pattern = SrchPattern::compile("^abc", nullptr, PatternOptions{});
        EXPECT_EQ(scan(text, pattern.get(), {}, false, 102400, false, 512).hits, 2) << at;
    }
}

} // namespace
} // namespace tw
