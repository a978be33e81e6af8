#include "select/MaskList.h"
#include "select/WildcardMask.h"

#include "engine/SrchPattern.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

// Reference: table of "the first i name bytes match the first j mask characters"; the mask
// holds no escapes, and case is folded for ASCII letters only.
bool referenceMatch(const std::string& mask, const std::string& name)
{
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    const size_t n = name.size(), m = mask.size();
    std::vector<std::vector<bool>> t(n + 1, std::vector<bool>(m + 1, false));
    t[0][0] = true;
    for (size_t j = 1; j <= m; ++j)
        t[0][j] = t[0][j - 1] && mask[j - 1] == '*';
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            const char c = mask[j - 1];
            if (c == '*')
                t[i][j] = t[i][j - 1] || t[i - 1][j];
            else
                t[i][j] = t[i - 1][j - 1] && (c == '?' || up(c) == up(name[i - 1]));
        }
    return t[n][m];
}

std::string randomText(std::mt19937& rng, std::string_view alphabet, size_t maxLen)
{
    std::string s(std::uniform_int_distribution<size_t>(0, maxLen)(rng), ' ');
    for (char& c : s)
        c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return s;
}

TEST(WildcardMask, AgreesWithReferenceOnRandomMasks)
{
    std::mt19937 rng(20240611);
    using namespace std::string_view_literals;
    const std::string_view maskChars = "aAb.?**"sv;
    const std::string_view nameChars = "aAb.\n\r\x01"sv;
    for (int round = 0; round < 20000; ++round) {
        const std::string mask = randomText(rng, maskChars, 8);
        const std::string name = randomText(rng, nameChars, 10);
        EXPECT_EQ(WildcardMask(mask).matches(name), referenceMatch(mask, name))
            << "mask '" << mask << "' name '" << name << "'";
    }
}

TEST(WildcardMask, AgreesWithPatternMaskModeOnPrintableNames)
{
    // Masks keep their meaning for names of printable bytes, escapes included.
    std::mt19937 rng(7);
    PatternOptions o;
    o.maskMode = true;
    const std::string_view maskChars = "aB.?*\\[x";
    const std::string_view nameChars = "abAB.*?[x\\";
    for (int round = 0; round < 5000; ++round) {
        const std::string mask = randomText(rng, maskChars, 7);
        const std::string name = randomText(rng, nameChars, 8);
        EXPECT_EQ(WildcardMask(mask).matches(name), SrchPattern::compile(mask, nullptr, o)->matchName(name))
            << "mask '" << mask << "' name '" << name << "'";
    }
}

TEST(WildcardMask, WildcardsTakeControlBytesAndLineBreaks)
{
    const struct {
        const char* mask;
        std::string name;
        bool match;
    } cases[] = {
        {"*", "a\nb", true},   {"*.txt", "line\nfeed.txt", true}, {"*.txt", "cr\r.txt", true},
        {"?.txt", "\x01.txt", true}, {"a?b", "a\rb", true}, {"*\\n*", "x\ny", true}, {"?", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMask(c.mask).matches(c.name), c.match) << c.mask;
    MaskList masks;
    masks.compile("*.*");
    EXPECT_TRUE(masks.matches("two\nlines"));
}

TEST(WildcardMask, HugeMaskOfWildcardsMatchesByLength)
{
    // 130 KB of "*" and "?": a name matches when it is at least as long as the "?" count.
    std::mt19937 rng(3);
    std::string mask;
    size_t ones = 0;
    while (mask.size() < 130 * 1024) {
        const bool one = rng() % 3 == 0;
        mask += one ? '?' : '*';
        ones += one;
    }
    // Names with an extension, so the list adds no "." of its own.
    auto name = [](size_t length, const char* ext) { return std::string(length - 2, 'x') + ext; };
    MaskList masks;
    masks.compile(mask + ";~*.o");
    EXPECT_TRUE(masks.matches(name(ones, ".c")));
    EXPECT_TRUE(masks.matches(name(ones + 5, ".c")));
    EXPECT_FALSE(masks.matches(name(ones - 1, ".c")));
    EXPECT_FALSE(masks.matches(name(ones, ".o")));
    // Only stars: everything.
    MaskList stars;
    stars.compile(std::string(130 * 1024, '*'));
    EXPECT_TRUE(stars.matches("name.txt"));
    EXPECT_TRUE(stars.matches("x"));
}

TEST(WildcardMask, ManyStarsBeforeAMissingTailStayLinear)
{
    // The usual blow-up case of backtracking matchers: "*a*a*...*b" against "aaa...a".
    std::string mask;
    for (int i = 0; i < 20000; ++i)
        mask += "*a";
    mask += "*b";
    EXPECT_FALSE(WildcardMask(mask).matches(std::string(255, 'a')));
    EXPECT_TRUE(WildcardMask(mask).matches(std::string(20000, 'a') + "b"));
}

} // namespace
} // namespace tw
