#include "engine/LiteralMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace tw {
namespace {

std::vector<size_t> allHits(const LiteralMatcher& m, const std::string& text)
{
    std::vector<size_t> hits;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t p = 0;
    for (;;) {
        const size_t s = m.findNext(b, text.size(), p, text.size());
        if (s == LiteralMatcher::npos)
            break;
        hits.push_back(s);
        p = s + m.length();
    }
    return hits;
}

struct Case {
    const char* needle;
    const char* text;
    bool caseSensitive;
    bool wholeWord;
    std::vector<size_t> expected;
};

TEST(LiteralMatcher, FindsTheHitsOfAForwardScan)
{
    const Case cases[] = {
        {"abc", "xabcabc", true, false, {1, 4}},
        {"aa", "aaaa", true, false, {0, 2}},
        {"Abc", "ABC abc aBc Abc", false, false, {0, 4, 8, 12}},
        {"Abc", "ABC abc aBc Abc", true, false, {12}},
        {"cat", "cat", true, true, {0}},
        {"cat", "cat.", true, true, {0}},
        {"cat", "(cat)", true, true, {1}},
        {"cat", "cats bobcat cat_1", true, true, {}},
        {"cat", "catcat cat", true, true, {7}},
        {"a b", "xa b a bx", true, true, {}},
        {"a b", "a b.a bx", true, true, {0}},
        {"\r\n", "a\r\nb\r\n", true, false, {1, 4}},
        {"x", "", true, false, {}},
        {"long needle", "short", true, false, {}},
        {"\xc3\xa9t\xc3\xa9", "un \xc3\xa9t\xc3\xa9 chaud", false, true, {3}},
        {"PM_RESUME", "#define PM_RESUME 1 /* PM_RESUMEX */ pm_resume", true, false, {8, 23}},
        {"PM_RESUME", "#define PM_RESUME 1 /* PM_RESUMEX */ pm_resume", false, true, {8, 37}},
    };
    for (const Case& c : cases) {
        LiteralMatcher m(c.needle, c.caseSensitive, c.wholeWord);
        EXPECT_EQ(allHits(m, c.text), c.expected) << c.needle << " in " << c.text;
    }
}

TEST(LiteralMatcher, WholeWordUsesTheContextByteBeforeTheStart)
{
    LiteralMatcher m("cat", true, true);
    const std::string text = "xcat cat";
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    // Scanning from 1: the 'x' before is a word character, so the first cat is refused.
    EXPECT_EQ(m.findNext(b, text.size(), 1, text.size()), 5u);
    // A start limit keeps candidates out of range.
    EXPECT_EQ(m.findNext(b, text.size(), 1, 5), LiteralMatcher::npos);
}

TEST(LiteralMatcher, Windows1252FoldsAccentedLetters)
{
    const CharClasses cp1252 = CharClasses::make(CodePageKind::Windows1252);
    LiteralMatcher m("\xe9t\xe9", false, false, cp1252); // été
    EXPECT_EQ(allHits(m, "L'\xc9T\xc9 est"), (std::vector<size_t>{2}));
    EXPECT_TRUE(cp1252.wordChar[0xE9]);
    EXPECT_FALSE(cp1252.wordChar[0xD7]); // multiplication sign
}

// The fast scan must agree with the plain definition on random data, case folding and
// word tests included.
TEST(LiteralMatcher, AgreesWithNaiveScanOnRandomText)
{
    std::mt19937 rng(7);
    const std::string alphabet = "aAbB_ \n\r\x01\xe9";
    const CharClasses& cc = activeCharClasses();
    for (int round = 0; round < 400; ++round) {
        // Every other round a long text with few candidates, so that the vector loops
        // run long stretches without one.
        const bool sparse = round % 2 == 1;
        std::string text(sparse ? rng() % 3000 : rng() % 200, ' ');
        for (char& ch : text)
            ch = sparse && rng() % 40 != 0 ? 'x' : alphabet[rng() % alphabet.size()];
        std::string needle(1 + rng() % 4, ' ');
        for (char& ch : needle)
            ch = alphabet[rng() % alphabet.size()];
        const bool cs = rng() % 2, ww = rng() % 2;
        std::vector<size_t> expect;
        for (size_t p = 0; p + needle.size() <= text.size();) {
            bool ok = true;
            for (size_t k = 0; k < needle.size() && ok; ++k) {
                const auto t = static_cast<uint8_t>(text[p + k]), s = static_cast<uint8_t>(needle[k]);
                ok = t == s || (!cs && cc.upper[t] == cc.upper[s]);
            }
            if (ok && ww) {
                if (p > 0 && cc.wordChar[static_cast<uint8_t>(text[p - 1])])
                    ok = false;
                if (p + needle.size() < text.size() && cc.wordChar[static_cast<uint8_t>(text[p + needle.size()])])
                    ok = false;
            }
            if (ok) {
                expect.push_back(p);
                p += needle.size();
            } else {
                ++p;
            }
        }
        LiteralMatcher m(needle, cs, ww);
        ASSERT_EQ(allHits(m, text), expect) << "round " << round;
    }
}

TEST(LiteralMatcher, CountsLineFeeds)
{
    // Random ranges against a plain count, from texts of every line-feed density up to all
    // line feeds (which fills the vector lanes' counters to their limit).
    std::mt19937 rng(7);
    for (int density : {0, 1, 7, 50, 100}) {
        std::string text(70000, 'x');
        for (char& c : text)
            if (static_cast<int>(rng() % 100) < density)
                c = '\n';
        const auto* b = reinterpret_cast<const uint8_t*>(text.data());
        for (int round = 0; round < 200; ++round) {
            const size_t from = rng() % 100;
            const size_t len = round < 40 ? static_cast<size_t>(round) : rng() % (text.size() - from);
            const size_t expect = static_cast<size_t>(std::count(text.begin() + from, text.begin() + from + len, '\n'));
            ASSERT_EQ(countLineFeeds(b + from, b + from + len), expect) << density << " " << from << " " << len;
        }
    }
}

} // namespace
} // namespace tw
