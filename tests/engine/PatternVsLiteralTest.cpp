// A pattern without operators must find exactly what the literal scan finds.
#include "engine/Escapes.h"
#include "engine/LiteralMatcher.h"
#include "engine/PatternScan.h"
#include "engine/SrchPattern.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

std::vector<size_t> literalHits(const std::string& lit, bool caseSensitive, const std::string& text)
{
    LiteralMatcher m(lit, caseSensitive, false);
    std::vector<size_t> out;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t p = 0;
    for (size_t h; (h = m.findNext(b, text.size(), p, text.size())) != LiteralMatcher::npos; p = h + lit.size())
        out.push_back(h);
    return out;
}

std::vector<size_t> patternHits(const SrchPattern& pattern, const std::string& text, size_t expectedLength)
{
    PatternScan p(pattern);
    std::vector<size_t> out;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t from = 0, hs = 0, he = 0;
    while (from < text.size() && p.findNext(b, text.size(), from, true, true, &hs, &he)) {
        EXPECT_EQ(he - hs, expectedLength);
        out.push_back(hs);
        from = he;
    }
    return out;
}

TEST(PatternVsLiteral, RandomTextsAgree)
{
    std::mt19937 rng(12345);
    // A small alphabet with the pattern specials, a backslash, line breaks and both cases,
    // so that literals occur often and overlap themselves.
    const std::string alphabet = "aAbB+*?[]()!|-$^\\\n\r 0x";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> abPick(0, 3);
    size_t compared = 0, nonEmpty = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text(50 + rng() % 2000, ' ');
        const bool dense = round % 2 == 0;
        for (char& c : text)
            c = dense ? "aAbB"[abPick(rng)] : alphabet[pick(rng)];
        for (int n = 0; n < 5; ++n) {
            std::string lit(1 + rng() % 5, ' ');
            for (char& c : lit)
                c = dense ? "aAbB"[abPick(rng)] : alphabet[pick(rng)];
            // Take some literals straight from the text so that most rounds have hits.
            if (n % 2 == 0 && text.size() > lit.size())
                lit = text.substr(rng() % (text.size() - lit.size()), lit.size());
            std::string pattern = lit;
            EscapeSpecials(pattern, kSearchSpecials);
            for (const bool cs : {true, false}) {
                PatternOptions o;
                o.caseSensitive = cs;
                auto p = SrchPattern::compile(pattern, nullptr, o);
                ASSERT_TRUE(p->ok()) << pattern;
                const auto expected = literalHits(lit, cs, text);
                EXPECT_EQ(patternHits(*p, text, lit.size()), expected) << "literal '" << lit << "' cs=" << cs;
                ++compared;
                nonEmpty += !expected.empty();
            }
        }
    }
    EXPECT_EQ(compared, 400u * 5 * 2);
    EXPECT_GT(nonEmpty, compared / 2); // the comparison is not vacuous
}

} // namespace
} // namespace tw
