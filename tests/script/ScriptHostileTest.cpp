// Scripts from outside: huge files, hostile binary counts, random bytes and damaged scripts.
#include "script/ScriptFile.h"
#include "script/TextScriptReader.h"

#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tw {
namespace {

using test::dump;

Script read(std::string_view bytes, std::vector<std::string>* messages = nullptr)
{
    Script s;
    ScriptLoadResult r = readScriptBytes(s, bytes, "/h.tws", {});
    EXPECT_TRUE(r.read);
    if (messages)
        *messages = std::move(r.messages);
    return s;
}

std::string repeated(std::string_view piece, size_t bytes)
{
    std::string out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes)
        out += piece;
    return out;
}

// 10,000 pairs of 5,000 bytes and a 1 MB text full of escaped and unfinished section
// starts: about 50 MB, read in one pass.
TEST(ScriptHostile, LargeScriptReadsWhole)
{
    Script s;
    for (int i = 0; i < 10000; ++i)
        s.pairs.push_back(test::makePair(std::to_string(i) + repeated("x[Searc\\[Path]\r\n", 5000), "r"));
    const std::string big = repeated("[[Replac\\[Search]\\[End of Tarnwick Script]\n[0]", 1 << 20);
    s.pairs.push_back(test::makePair(big, big));
    s.paths.push_back({"/src/", "*.c"});
    const std::string bytes = formatScript(s, {});
    ASSERT_GT(bytes.size(), size_t(50) << 20);
    const Script back = read(bytes);
    EXPECT_EQ(back.pairs.size(), s.pairs.size());
    // Compared whole but not printed: a failure message of this size would not help.
    EXPECT_TRUE(dump(back) == dump(s));
}

// 50 MB without a section end: two plain lines, one pair.
TEST(ScriptHostile, LargeFileWithoutSections)
{
    const std::string bytes = "[Script for Tarnwick]\r\n" + repeated("[Path[Searching\\[Path][Options", size_t(50) << 20);
    const Script s = read(bytes);
    ASSERT_EQ(s.pairs.size(), 1u);
    EXPECT_EQ(s.pairs[0].searchText, "[Script for Tarnwick]");
    EXPECT_EQ(s.pairs[0].replaceText.size(), bytes.size() - 23);
}

TEST(ScriptHostile, BinaryCutAnywhereKeepsWhatWasReadWhole)
{
    SearchPair a = test::makePair("one", "two");
    SearchPair b = test::makePair(kBinaryPlaceholder, "r");
    b.binarySearchBlock = "block";
    const std::string bytes = test::binaryScript({a, b}, {"/p/", "*.c", "/q/", "*.h"});
    const Script whole = read(bytes);
    ASSERT_EQ(whole.pairs.size(), 2u);
    ASSERT_EQ(whole.paths.size(), 2u);
    for (size_t length = 4; length < bytes.size(); ++length) {
        const Script cut = read(std::string_view(bytes).substr(0, length));
        Script prefix = whole;
        prefix.pairs.resize(cut.pairs.size());
        prefix.paths.resize(cut.paths.size());
        EXPECT_EQ(dump(cut), dump(prefix)) << length;
        EXPECT_TRUE(cut.paths.empty() || cut.pairs.size() == 2) << length;
        EXPECT_LT(cut.pairs.size() + cut.paths.size(), 4u) << length;
    }
}

TEST(ScriptHostile, BinaryCountsBeyondTheFile)
{
    std::string pairThenEnd;
    test::putU32(pairThenEnd, 2600);
    test::putU32(pairThenEnd, 0xffffffffu);
    for (const char* t : {"s", "r", "", ""})
        test::putText(pairThenEnd, t);
    for (int i = 0; i < 3; ++i)
        test::putU32(pairThenEnd, 1);
    EXPECT_EQ(read(pairThenEnd).pairs.size(), 1u);

    std::string longString;
    test::putU32(longString, 2600);
    test::putU32(longString, 1);
    longString += "\xff\xff" "abc";
    EXPECT_TRUE(read(longString).empty());

    std::string manyPaths = test::binaryScript({}, {"/p/", "*.c", "/odd/"});
    EXPECT_EQ(read(manyPaths).paths.size(), 1u); // a path without its mask is dropped
    manyPaths[8] = manyPaths[9] = manyPaths[10] = manyPaths[11] = '\xff';
    EXPECT_EQ(read(manyPaths).paths.size(), 1u);
}

// Pieces that random texts are made of: bytes of every kind, line breaks, escapes and
// brackets that never start a section.
const std::string kTextPieces[] = {"a", "Z", " ", "\t", "\r\n", "\n", "\r", std::string(1, '\0'), "\xff", "\xc3\xa9",
                                   "\\", "[0-9]", "\\[Path]", "\\[Search]", "]", "/", ";", "*", "E1", "."};
const std::string kHeaders[] = {"[Search]", "[Search /bixwh]c", "[Replace]", "[Replace /B]", "[Path]", "[Path",
                                "[Options]", "[Expression]", "[End of Tarnwick Script]", "[Script for Tarnwick]",
                                "\r\n", "\n", "\\", "[", "]"};

class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_engine); }
    bool chance(int percent) { return below(100) < size_t(percent); }
    template <size_t N>
    const std::string& pick(const std::string (&pieces)[N]) { return pieces[below(N)]; }
    std::string text(size_t maxPieces, bool oneLine = false)
    {
        std::string out;
        for (size_t n = below(maxPieces + 1); n > 0; --n) {
            const std::string& piece = pick(kTextPieces);
            if (!oneLine || piece.find('\n') == std::string::npos)
                out += piece;
        }
        return out;
    }

private:
    std::mt19937 m_engine;
};

SearchPair randomPair(Random& r)
{
    SearchPair p;
    p.caseSensitive = r.chance(50);
    p.wholeWord = r.chance(30);
    p.regularExpression = r.chance(30);
    p.ignoreWhitespace = r.chance(30);
    p.searchComment = r.text(3, true);
    p.replaceComment = r.text(3, true);
    if (r.chance(20)) {
        p.searchText = kBinaryPlaceholder;
        p.binarySearchBlock = r.text(6);
    } else {
        p.searchText = r.text(6);
    }
    if (r.chance(20)) {
        p.replaceText = kBinaryPlaceholder;
        p.binaryReplaceBlock = r.text(6);
    } else {
        p.replaceText = r.text(6);
    }
    return p;
}

// A script that the writer can represent: at least one pair or path entry, absolute
// directories that do not exist, masks without a leading ";".
Script randomScript(Random& r)
{
    static const std::string kDirs[] = {"/twnone/", "/twnone/d.x/", "/twnone/a b/", "/twnone/**/", "/"};
    static const std::string kMasks[] = {"", "*.c", "x", "a.b;*.h", "readme", "?x", "*", "sub/*.c"};
    Script s;
    s.description = r.chance(50) ? r.text(5) : "";
    for (size_t n = r.below(4); n > 0; --n)
        s.pairs.push_back(randomPair(r));
    for (size_t n = r.below(3) + (s.pairs.empty() ? 1 : 0); n > 0; --n)
        s.paths.push_back({r.pick(kDirs), r.pick(kMasks)});
    if (!s.pairs.empty() && r.chance(50))
        s.expression = "E" + std::to_string(r.below(s.pairs.size()) + 1) + (r.chance(50) ? " AND\r\nNOT E1" : "");
    return s;
}

TEST(ScriptRandom, WrittenScriptsReadBackTheSame)
{
    Random r(20261210);
    for (int i = 0; i < 3000; ++i) {
        const Script s = randomScript(r);
        std::vector<std::string> messages;
        const Script back = read(formatScript(s, {}), &messages);
        ASSERT_EQ(dump(back), dump(s)) << "iteration " << i;
        EXPECT_TRUE(messages.empty());
    }
}

std::string mutate(std::string bytes, Random& r)
{
    for (size_t n = r.below(4) + 1; n > 0; --n) {
        const size_t at = r.below(bytes.size() + 1);
        const size_t length = r.below(bytes.size() - at + 1);
        switch (r.below(4)) {
        case 0:
            if (at < bytes.size())
                bytes[at] = char(r.below(256));
            break;
        case 1: bytes.erase(at, length); break;
        case 2: bytes.insert(r.below(bytes.size() + 1), bytes.substr(at, length)); break;
        default: bytes.insert(at, r.pick(kHeaders)); break;
        }
    }
    return bytes;
}

// Whatever the bytes, reading ends; and what the text reader takes from them, once
// written, reads back the same (path entries pass through the split again, so only
// their number is compared).
TEST(ScriptRandom, DamagedScriptsAndRandomBytes)
{
    Random r(7);
    int checked = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string bytes;
        if (i % 3 == 0) {
            for (size_t n = r.below(40); n > 0; --n)
                bytes += r.chance(50) ? r.pick(kHeaders) : r.chance(50) ? r.pick(kTextPieces) : std::string(1, char(r.below(256)));
        } else {
            bytes = mutate(formatScript(randomScript(r), {}), r);
        }
        const Script first = read(bytes);
        Script probe;
        if (bytes.size() < 4 || bytes.compare(0, 4, "\x28\x0a\0\0", 4) == 0 ||
            !TextScriptReader(bytes, probe, {}).read())
            continue;
        ++checked;
        Script again = read(formatScript(first, {}));
        ASSERT_EQ(again.paths.size(), first.paths.size()) << "iteration " << i;
        Script expected = first;
        again.paths.clear();
        expected.paths.clear();
        ASSERT_EQ(dump(again), dump(expected)) << "iteration " << i;
    }
    EXPECT_GT(checked, 1000); // most damaged scripts still hold sections
}

} // namespace
} // namespace tw
