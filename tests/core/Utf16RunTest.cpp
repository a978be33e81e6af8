// Files that begin with a byte-order mark, through whole runs: a UTF-16 file is searched
// exactly as its UTF-8 decoding would be, and replacing in it changes nothing but the
// replaced hits, unpaired surrogates, marks and line ends included. The references are
// built the plain way: decode the whole text, replace, encode.
#include "core/RunDriver.h"
#include "core/TextScan.h"
#include "engine/LiteralScan.h"
#include "results/ResultText.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "PrivateTempDirs.h"
#include "ReplaceTestSupport.h"
#include "TestUtil.h"
#include "Utf16Reference.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace tw {
namespace {

using test::readFile;
using test::utf8Of;
using test::TempDir;
using test::writeFile;

std::string unitBytes(uint16_t u, bool big)
{
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    return big ? std::string{hi, lo} : std::string{lo, hi};
}

std::string utf16Of(char32_t cp, bool big)
{
    if (cp < 0x10000)
        return unitBytes(static_cast<uint16_t>(cp), big);
    cp -= 0x10000;
    return unitBytes(static_cast<uint16_t>(0xD800 + (cp >> 10)), big) +
           unitBytes(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)), big);
}

// One character of a test text: its bytes in the file and what the scan sees of it.
struct Token {
    std::string raw;
    std::string decoded;
};

// Characters the random texts are made of; the ones from kSearchable on may also be
// searched for and written. An unpaired surrogate and a genuine U+FFFD both show as
// U+FFFD, but only the latter may come back out as FFFD.
enum : int { kLoneHigh, kLoneLow, kGenuineFffd, kSearchable };
const char32_t kChars[] = {0, 0, 0xFFFD, 'a', 'b', 'A', ' ', '\r', '\n', 0xE9, 0x20AC, 0x1F600, 'x'};

Token tokenOf(int kind, bool big, std::mt19937& rng)
{
    if (kind == kLoneHigh || kind == kLoneLow) {
        const uint16_t u = static_cast<uint16_t>((kind == kLoneHigh ? 0xD800 : 0xDC00) + rng() % 0x400);
        return {unitBytes(u, big), utf8Of(0xFFFD)};
    }
    return {utf16Of(kChars[kind], big), utf8Of(kChars[kind])};
}

struct Text {
    std::vector<Token> tokens;
    std::string raw;     // the file: mark, then the tokens
    std::string decoded; // what the scan sees
};

Text randomText(std::mt19937& rng, bool big, size_t maxTokens)
{
    Text t;
    t.raw = big ? "\xFE\xFF" : "\xFF\xFE";
    const size_t n = rng() % maxTokens;
    int prev = -1;
    for (size_t i = 0; i < n; ++i) {
        // CR LF together often, so that line ends straddle blocks.
        const int kind = rng() % 10 == 0 ? 7 : static_cast<int>(rng() % std::size(kChars));
        if (kind == kLoneLow && prev == kLoneHigh)
            t.tokens.push_back(tokenOf(kSearchable, big, rng)); // else the two halves make a pair
        t.tokens.push_back(tokenOf(kind, big, rng));
        prev = kind;
        if (kind == 7)
            t.tokens.push_back(tokenOf(8, big, rng));
    }
    for (const Token& k : t.tokens) {
        t.raw += k.raw;
        t.decoded += k.decoded;
    }
    return t;
}

std::string randomChars(std::mt19937& rng, size_t minLen, size_t maxLen, std::u32string* cps = nullptr)
{
    std::string s;
    const size_t n = minLen + rng() % (maxLen - minLen + 1);
    for (size_t i = 0; i < n; ++i) {
        const char32_t cp = kChars[kSearchable + rng() % (std::size(kChars) - kSearchable)];
        s += utf8Of(cp);
        if (cps)
            cps->push_back(cp);
    }
    return s;
}

struct TextRun {
    test::FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    SearchRequest req;
    TextRun(const std::string& dir, const std::string& mask, bool replace)
    {
        results.setView(&view);
        req.replaceMode = replace;
        req.quiet = true;
        req.options.promptMode = 2;
        req.options.maxRegexSize = 32767;
        req.pathMasks.push_back({dir, mask});
    }
    SearchPair& addPair(const std::string& from, const std::string& to = {})
    {
        SearchPair p;
        p.searchText = from;
        p.replaceText = to;
        req.pairs.push_back(p);
        return req.pairs.back();
    }
    RunOutcome run() { return driver.ExecuteRun(req); }
    std::vector<std::string> lines(const std::string& dropPrefix = {}) const
    {
        std::vector<std::string> out;
        for (const ResultEntry& e : view.lines) {
            std::string s = outputForm(e.text, "<", ">");
            if (!dropPrefix.empty())
                for (size_t p; (p = s.find(dropPrefix)) != std::string::npos;)
                    s.erase(p, dropPrefix.size());
            out.push_back(s);
        }
        return out;
    }
    bool has(const std::string& line) const
    {
        const auto l = lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }
};

TEST(Utf16Replace, RandomHitsReplacedChangeNothingElse)
{
    test::PrivateTempDirs fast; // 150 replace runs with backups
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
        const bool big = round % 2;
        TempDir dir;
        Text t = randomText(rng, big, 400);
        if (round % 5 == 0)
            t.raw += static_cast<char>(rng()); // an odd length: the last byte is no unit
        writeFile(dir.file("f.txt"), t.raw);

        // The search text never holds U+FFFD, so hits fall on whole tokens.
        const std::string search = randomChars(rng, 1, 2);
        std::u32string replacementChars;
        const std::string replacement = randomChars(rng, 0, 3, &replacementChars);
        std::vector<std::pair<size_t, size_t>> hits; // decoded offset and length
        for (size_t p = 0; (p = t.decoded.find(search, p)) != std::string::npos; p += search.size())
            hits.emplace_back(p, search.size());
        std::vector<bool> replaced;
        for (size_t k = 0; k < hits.size(); ++k)
            replaced.push_back(rng() % 3 != 0);

        // Reference: the tokens' own bytes, except where a replaced hit covers them.
        std::string encodedReplacement;
        for (char32_t cp : replacementChars)
            encodedReplacement += utf16Of(cp, big);
        std::string want = t.raw.substr(0, 2);
        size_t offset = 0, next = 0;
        bool any = false;
        for (const Token& k : t.tokens) {
            while (next < hits.size() && hits[next].first + hits[next].second <= offset)
                ++next;
            const bool inHit = next < hits.size() && hits[next].first <= offset;
            if (!inHit || !replaced[next])
                want += k.raw;
            else if (hits[next].first == offset) {
                want += encodedReplacement;
                any = true;
            }
            offset += k.decoded.size();
        }
        if (t.raw.size() % 2)
            want += t.raw.back();

        TextRun r(dir.path(), "*.txt", true);
        r.req.options.promptMode = 0;
        r.req.blockSize = 16 + rng() % 300;
        r.req.options.backupPath = dir.file("bak");
        r.addPair(search, replacement);
        for (bool yes : replaced)
            r.host.answers.push_back(yes ? Answer::ReplaceThis : Answer::SkipThis);
        if (any)
            r.host.answers.push_back(Answer::Yes); // the file's own question
        ASSERT_EQ(r.run(), RunOutcome::Completed) << ::testing::PrintToString(r.lines());
        ASSERT_EQ(readFile(dir.file("f.txt")), want)
            << "round " << round << " block " << r.req.blockSize << " " << ::testing::PrintToString(r.lines());
        EXPECT_EQ(r.host.questions.size(), hits.size() + (any ? 1 : 0));
        if (any) {
            // The backup holds the original bytes.
            size_t backups = 0;
            for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("bak")))
                if (e.is_regular_file()) {
                    ++backups;
                    EXPECT_EQ(readFile(e.path().string()), t.raw);
                }
            EXPECT_EQ(backups, 1u);
        }
    }
}

TEST(Utf16Replace, LaterPairsReadTheEarlierPairsUtf16Output)
{
    for (bool big : {false, true}) {
        TempDir dir;
        std::string raw = big ? "\xFE\xFF" : "\xFF\xFE";
        const std::u32string text = U"cat dog cat\r\n\U0001F600cat";
        for (char32_t c : text)
            raw += utf16Of(c, big);
        raw += unitBytes(0xDC01, big); // unpaired at the very end
        writeFile(dir.file("a.txt"), raw);
        TextRun r(dir.path(), "*.txt", true);
        r.addPair("cat", "d\xC3\xB6g");
        r.addPair("d\xC3\xB6g", "bird\xF0\x9F\x98\x80");
        r.addPair("dog", "");
        ASSERT_EQ(r.run(), RunOutcome::Completed);
        // "dog" went away, leaving both spaces around it.
        std::string expect = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char32_t c : std::u32string(U"bird\U0001F600  bird\U0001F600\r\n\U0001F600bird\U0001F600"))
            expect += utf16Of(c, big);
        expect += unitBytes(0xDC01, big);
        EXPECT_EQ(readFile(dir.file("a.txt")), expect);
        EXPECT_EQ(r.lines().back(), "Replaced 7 occurrences in 1 file(s)");
    }
}

// A search of the UTF-16 file and of its UTF-8 decoding, side by side: the same lines,
// numbers and hit columns, for literal and pattern pairs, whole words, case folding and
// binary detection, at block sizes that put surrogate pairs and CR LF across blocks.
TEST(Utf16Search, FindsWhatTheUtf8DecodingWouldGive)
{
    struct Pair {
        std::string search;
        bool caseSensitive, wholeWord, regex;
    };
    const Pair pairs[] = {
        {"ab", true, false, false},
        {"AB", false, false, false},
        {"a", true, true, false},
        {"\xC3\xA9", true, false, false},
        {"\xF0\x9F\x98\x80" "a", true, false, false},
        {"\xEF\xBF\xBD", true, false, false}, // U+FFFD: genuine ones and unpaired surrogates alike
        {"b?a", true, false, true},
        {"^a", true, false, true},
        {"a$", true, false, true},
        {"[\xC3\xA9]+", true, false, true},
        {"\r\n", true, false, false},
    };
    std::mt19937 rng(9);
    for (int round = 0; round < 60; ++round) {
        const bool big = round % 2;
        TempDir d16, d8;
        Text t = randomText(rng, big, 600);
        if (round % 7 == 3) {
            t.raw += std::string(2, '\0'); // a NUL character: both are binary
            t.decoded += '\0';
        }
        writeFile(d16.file("f.txt"), t.raw);
        writeFile(d8.file("f.txt"), t.decoded);
        for (const Pair& p : pairs) {
            const size_t block = 16 + rng() % 200;
            auto search = [&](const std::string& dir) {
                TextRun r(dir, "*.txt", false);
                r.req.blockSize = block;
                r.req.maxDisplayChars = 1 + static_cast<int>(rng() % 40);
                SearchPair& sp = r.addPair(p.search);
                sp.caseSensitive = p.caseSensitive;
                sp.wholeWord = p.wholeWord;
                sp.regularExpression = p.regex;
                r.run();
                std::vector<std::string> fields;
                for (const ResultEntry& e : r.view.lines)
                    fields.push_back(std::to_string(e.lineNumber) + "/" + std::to_string(e.hitColumn) + "/" + std::to_string(e.fileOffset) + "/" +
                                     std::to_string(e.hitLength));
                std::vector<std::string> lines = r.lines(dir);
                lines.insert(lines.end(), fields.begin(), fields.end());
                return lines;
            };
            const int displaySeed = static_cast<int>(rng());
            rng.seed(static_cast<unsigned>(displaySeed));
            const auto from16 = search(d16.path());
            rng.seed(static_cast<unsigned>(displaySeed));
            const auto from8 = search(d8.path());
            ASSERT_EQ(from16, from8) << "round " << round << " search " << ::testing::PrintToString(p.search)
                                     << " block " << block;
        }
    }
}

TEST(Utf16Replace, AReplacementUtf16CannotHoldLeavesTheFileAsItWas)
{
    struct Case {
        const char* what;
        std::string search, replace;
        std::deque<Answer> answers;
    } cases[] = {
        // A replace text is checked before anyone is asked: only the UTF-8 file's hit and
        // its file question are asked.
        {"an unpaired surrogate from escapes", "line", "\\0xED\\0xA0\\0x80", {Answer::ReplaceThis, Answer::Yes}},
        {"a byte that is no UTF-8", "line", "x\\0xFF", {Answer::ReplaceThis, Answer::Yes}},
        // A cut character shows only in the output, after its hit was asked about.
        {"a hit that cuts a character", "\\0xC3", "e", {Answer::ReplaceThis, Answer::ReplaceThis, Answer::Yes}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string raw = "\xFF\xFE";
        for (char32_t ch : std::u32string(U"line \u00E9\r\nline two\r\n"))
            raw += utf16Of(ch, false);
        writeFile(dir.file("a16.txt"), raw);
        writeFile(dir.file("b8.txt"), "line \xC3\xA9\n");
        TextRun r(dir.path(), "*.txt", true);
        r.req.options.promptMode = 0;
        SearchPair& p = r.addPair(c.search, c.replace);
        p.regularExpression = true;
        r.host.answers = c.answers;
        EXPECT_EQ(r.run(), RunOutcome::Completed) << c.what;
        EXPECT_EQ(readFile(dir.file("a16.txt")), raw) << c.what;
        EXPECT_NE(readFile(dir.file("b8.txt")), "line \xC3\xA9\n") << c.what;
        EXPECT_TRUE(r.has(std::string(kUtf16UnwritableText) + "a16.txt")) << c.what << ::testing::PrintToString(r.lines());
        EXPECT_TRUE(r.host.answers.empty()) << c.what;
        EXPECT_EQ(r.lines().back(), "Replaced 1 occurrences in 1 file(s)") << c.what;
    }
}

TEST(Utf8Mark, IsKeptAndNeverHoldsAHit)
{
    const std::string mark = "\xEF\xBB\xBF";
    struct Case {
        std::string search, replace;
        bool regex;
        std::string after; // the file afterwards
        long hits;
    } cases[] = {
        {"^?", "X", true, mark + "Xb\r\nXb", 2},
        {"ab", "\xC3\xA9", false, mark + "\xC3\xA9\r\n\xC3\xA9", 2},
        {"\\0xBB", "X", true, mark + "ab\r\nab", 0},
        {"\\0xEF\\0xBB\\0xBF", "", true, mark + "ab\r\nab", 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir.file("a.txt"), mark + "ab\r\nab");
        TextRun r(dir.path(), "*.txt", true);
        r.req.blockSize = 16;
        r.addPair(c.search, c.replace).regularExpression = c.regex;
        EXPECT_EQ(r.run(), RunOutcome::Completed);
        EXPECT_EQ(readFile(dir.file("a.txt")), c.after) << c.search;
        EXPECT_EQ(r.lines()[r.lines().size() - 2],
                  "Searched 1 file(s), found " + std::to_string(c.hits) + " occurrences in " +
                      std::to_string(c.hits ? 1 : 0) + " file(s)")
            << c.search;
    }
    // The first hit line starts at the text, not at the mark.
    TempDir dir;
    writeFile(dir.file("a.txt"), mark + "ab\r\nab");
    TextRun r(dir.path(), "*.txt", false);
    r.addPair("^a", "").regularExpression = true;
    r.run();
    EXPECT_EQ(r.lines()[1], "Line   1 - <a>b");
}

TEST(Utf16Detection, OffReadsEveryFileAsBytes)
{
    TempDir dir;
    std::string raw = "\xFF\xFE";
    for (char ch : std::string("hello\r\n"))
        raw += utf16Of(static_cast<unsigned char>(ch), false);
    writeFile(dir.file("a.txt"), raw);
    writeFile(dir.file("b.txt"), "\xEF\xBB\xBFhello");
    struct Case {
        bool detect;
        std::string search;
        bool regex;
        long hits;
    } cases[] = {
        {true, "hello", false, 2},
        {false, "hello", false, 1}, // only the UTF-8 file
        {true, "h\\0x00e", true, 0},
        {false, "h\\0x00e", true, 1}, // "h", NUL, "e" of the UTF-16 bytes
        {true, "^\\0xEF", true, 0},
        {false, "^\\0xEF", true, 1},
    };
    for (const Case& c : cases) {
        TextRun r(dir.path(), "*.txt", false);
        r.req.options.detectUtf16 = c.detect;
        r.addPair(c.search).regularExpression = c.regex;
        r.run();
        EXPECT_EQ(r.lines().back(), "Searched 2 file(s), found " + std::to_string(c.hits) + " occurrences in " +
                                        std::to_string(c.hits) + " file(s)")
            << c.search << " detect " << c.detect;
    }
    // Replacing with detection off changes bytes, as in any other file.
    TextRun r(dir.path(), "a.txt", true);
    r.req.options.detectUtf16 = false;
    r.addPair("h", "H");
    r.run();
    std::string want = raw;
    want[2] = 'H';
    EXPECT_EQ(readFile(dir.file("a.txt")), want);
}

// A replace scan keeps nothing per hit: what its output still has to place (announced
// replacements) and may still have to write back (unpaired surrogates) is let go as the
// output passes it, so both stay within a block however many hits the file has. The hard
// cases are UTF-16 hits back to back, replaced by nothing (no byte reaches the output
// between them) or by one byte, behind a character that is still on its way out.
TEST(ReplaceScan, HoldsNothingPerHit)
{
    constexpr size_t kBlock = 4096, kHits = 60000;
    const std::string mark = "\xFF\xFE", x = unitBytes('x', false);
    std::string lones;
    for (size_t i = 0; i < kHits; ++i)
        lones += unitBytes(static_cast<uint16_t>(0xDC00 + i % 0x400), false);
    const std::string fffd = utf8Of(0xFFFD);
    struct Case {
        std::string raw, search, replacement, want;
    };
    const Case cases[] = {
        {std::string(kHits, 'a') + "\n", "a", "b", std::string(kHits, 'b') + "\n"},
        {mark + x + lones, fffd, "", mark + x},
        {mark + x + lones + x, fffd, "b", mark + x + [&] {
             std::string s;
             for (size_t i = 0; i < kHits; ++i)
                 s += unitBytes('b', false);
             return s;
         }() + x},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir.file("f.txt"), c.raw);
        std::unique_ptr<File> in = realFileSystem().openRead(dir.file("f.txt"));
        std::unique_ptr<File> out = realFileSystem().createScratch("TW");
        ASSERT_TRUE(in && out);
        FileSource file(*in);
        DecodingSource source(file, true);
        source.keepIrregular();
        EncodingOutput output(*out, source);

        // Replaces every hit and looks at what the output holds as each hit comes.
        struct Sampler final : ReplaceHooks {
            EncodingOutput& out;
            DecodingSource& source;
            size_t mostWaiting = 0, mostIrregular = 0;
            Sampler(EncodingOutput& o, DecodingSource& s) : out(o), source(s) {}
            File& output() override { return out; }
            bool hitVisible() override { return true; }
            bool decideHit(FileState&, const std::string&, const std::string&) override
            {
                mostWaiting = std::max(mostWaiting, out.replacementsWaiting());
                if (source.isUtf16())
                    mostIrregular = std::max(mostIrregular, source.irregular().size());
                return true;
            }
            void replaced() override {}
            void writeFailed(const FileState&, bool) override { ADD_FAILURE() << "write failed"; }
        } sampler(output, source);
        EncodingHooks hooks(sampler, output, source);

        test::FakeHost host;
        test::RecordingSink sink;
        std::atomic<bool> stop{false};
        ScanSettings settings;
        settings.blockSize = kBlock;
        settings.showHitLines = false;
        FileScanner scanner(settings, sink, host, stop);
        ActivePair pair;
        pair.matcher = std::make_unique<LiteralScan>(c.search, true, false);
        pair.replaceText = c.replacement;
        FileState state;
        state.pairCounts.resize(1);
        ASSERT_EQ(scanner.scan(source, pair, 0, state, true, &hooks), ScanOutcome::Done);
        ASSERT_TRUE(output.finish());
        ASSERT_FALSE(output.unwritable());
        EXPECT_EQ(state.totals().replacements, static_cast<long>(kHits));
        std::string got(c.want.size() + 1, '\0');
        ASSERT_TRUE(out->seek(0));
        got.resize(static_cast<size_t>(out->read(got.data(), got.size())));
        EXPECT_EQ(got, c.want);
        EXPECT_LE(sampler.mostWaiting, 1u);
        EXPECT_LE(sampler.mostIrregular, kBlock);
    }
}

} // namespace
} // namespace tw
