// The work of a pattern search is bounded by the bytes searched times the pattern's
// elements, whatever the input: hostile inputs of growing size (runs that exceed a repeat
// count from every start, sets short of a count, elements found far away or never, many
// hits each of which would read a whole window again) and random count-heavy patterns.
// Work is the scan's own step count (bytes its runs and searches covered, one per element
// of each attempt), not time; before the scan kept its memory of runs and searches these
// inputs took hundreds to tens of thousands of steps per byte.
#include "engine/PatternScan.h"
#include "engine/SrchPattern.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

// Steps allowed per byte and unit of pattern size, the elements plus the longest literal
// alternative (comparing one repetition reads that many bytes).
constexpr double kStepsPerByteAndElement = 12;

double patternSize(const SrchPattern& pattern)
{
    size_t longest = 1;
    for (const SrchElement& el : pattern.elements())
        for (const std::string& lit : el.literals)
            longest = std::max(longest, lit.size());
    return static_cast<double>(pattern.elements().size() + longest);
}

struct Work {
    size_t steps = 0, hits = 0;
};

// Every hit of the whole text as the per-file scan takes them from one buffer.
Work scanWork(const SrchPattern& pattern, const std::string& text)
{
    PatternScan scan(pattern);
    const ScanBuffer buf{reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, true, 1};
    Work w;
    for (size_t from = 0; from < text.size();) {
        const MatchResult r = scan.findNext(buf, from);
        if (r.kind != MatchResult::Hit)
            break;
        ++w.hits;
        from = r.end > r.start ? r.end : r.end + 1;
    }
    w.steps = scan.steps();
    return w;
}

std::string repeated(const std::string& unit, size_t size, const std::string& tail)
{
    std::string out;
    while (out.size() < size)
        out += unit;
    return out + tail;
}

void expectBounded(const char* pattern, const std::string& unit, const std::string& tail)
{
    auto p = SrchPattern::compile(pattern, nullptr, PatternOptions{});
    ASSERT_TRUE(p->ok()) << pattern;
    const double elements = patternSize(*p);
    size_t hitsBefore = 0;
    for (const size_t size : {size_t(4000), size_t(16000), size_t(64000)}) {
        const std::string text = repeated(unit, size, tail);
        const Work w = scanWork(*p, text);
        EXPECT_LE(static_cast<double>(w.steps), kStepsPerByteAndElement * static_cast<double>(text.size()) * elements)
            << pattern << " on " << text.size() << " bytes of '" << unit << "'";
        EXPECT_GE(w.hits, hitsBefore) << pattern; // a longer text holds the hits of the shorter
        hitsBefore = w.hits;
    }
}

TEST(PatternWork, HostileInputsTakeWorkBoundedByBytesTimesElements)
{
    struct Case {
        const char* pattern;
        std::string unit, tail;
    };
    const Case cases[] = {
        // A repeat count exceeded from every start of a long run: as the first element, after
        // a literal, with a set, a group of two-byte repetitions, interleaved repetitions.
        {"+1000(a)", "a", "\n"},
        {"a+1000(a)", "a", "\n"},
        {"a+1000[a]c", "a", "c\n"},
        {"a+1000(a)b", "a", "b\n"},
        {"+300(ab)", "ab", "\n"},
        {"+300(aa)", "a", "\n"},
        {"a+1000(a|b)", "ab", "\n"},
        {"+40(aa|a)", "a", "\n"},
        // Repetitions of a long literal interleave at every offset of its length.
        {"+100(aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa)", "a", "\n"},
        // A literal far after each start, with a counted run matched backwards from it.
        {"x*[a]+1000(a)b", "x", std::string(1500, 'a') + "b\n"},
        // Lines longer than the window: an element found only near the window's end, or
        // not at all, from every start.
        {"a*(ab|b)+40(aa|a)+2-40[a]*", "a", "\n"},
        {"+(a|d)*+20+(a)", "aaab", "\n"},
        {"ab*[ab]+2-40[a]", "ab", "\n"},
        {"b+5-50[]*+20+(a)+50[ab]", "ab", "\n"},
        // Many short lines, and many hits, each of which would search a window again.
        {"a*[ab]b", "a\n", "\n"},
        {"a*[ab]*[ab]![b]", "a\n", "\n"},
        {"+[a]*[ab]![b]", std::string(38, 'a') + "d", "\n"},
        {"?![b]??", "aaab", "\n"},
    };
    for (const Case& c : cases)
        expectBounded(c.pattern, c.unit, c.tail);
}

TEST(PatternWork, TheHostileInputsExceedTheBoundWhenEveryAttemptRunsInFull)
{
    // The same scan without its memory (every attempt and search in full) is far over the
    // bound on these inputs: they do exercise what the memory bounds.
    const std::pair<const char*, std::string> cases[] = {
        {"a+1000(a)", std::string(8000, 'a') + "\n"},
        {"a+1000[a]c", std::string(8000, 'a') + "c\n"},
        {"+300(aa)", std::string(8000, 'a') + "\n"},
        {"x*[a]+1000(a)b", std::string(3000, 'x') + std::string(1500, 'a') + "b\n"},
    };
    for (const auto& [pattern, text] : cases) {
        auto p = SrchPattern::compile(pattern, nullptr, PatternOptions{});
        PatternScan plain(*p, false);
        size_t from = 0, hs = 0, he = 0;
        while (plain.findNext(reinterpret_cast<const uint8_t*>(text.data()), text.size(), from, true, true, &hs, &he))
            from = he;
        const double bound = kStepsPerByteAndElement * static_cast<double>(text.size()) * patternSize(*p);
        EXPECT_GT(static_cast<double>(plain.steps()), 10 * bound) << pattern;
        EXPECT_LE(static_cast<double>(scanWork(*p, text).steps), bound) << pattern;
    }
}

TEST(PatternWork, RandomCountPatternsTakeBoundedWork)
{
    static const char* const pieces[] = {"a",        "ab",       "b",         "d",       "*",        "+",
                                         "?",        "*[ab]",    "+[a]",      "+2-40[a]", "+30(ab)",  "(a|ab|ba)",
                                         "*(ab|b)",  "+(a|d)",   "![b]",      "+[b-d]",  "^",        "$",
                                         "+1-20(a)", "+50[ab]",  "+-60(a|b)", "+20+(a)", "*[]",      "+5-50[]",
                                         "+40(aa|a)", "+10(ab|a)"};
    static const char* const units[] = {"a", "ab", "aab", "aaab ", "abba", "aaaaaaaaab\n", "a\n",
                                        "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaad"};
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
        std::string pattern;
        for (size_t n = 2 + rng() % 4; n > 0; --n)
            pattern += pieces[rng() % std::size(pieces)];
        auto p = SrchPattern::compile(pattern, nullptr, PatternOptions{});
        ASSERT_TRUE(p->ok()) << pattern;
        const double elements = patternSize(*p);
        const std::string text = repeated(units[rng() % std::size(units)], 48000, "d\n");
        const Work w = scanWork(*p, text);
        EXPECT_LE(static_cast<double>(w.steps), kStepsPerByteAndElement * static_cast<double>(text.size()) * elements)
            << pattern;
    }
}

TEST(PatternWork, MemoryDoesNotCarryOverToOtherBytes)
{
    // The same buffer and length with other bytes and another id: what the scan learnt
    // about the first bytes must not decide the second search.
    auto p = SrchPattern::compile("a+5(a)b", nullptr, PatternOptions{});
    PatternScan scan(*p);
    std::string text = "aaaaaab aaaaaab";
    const ScanBuffer first{reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, true, 7};
    MatchResult r = scan.findNext(first, 0);
    ASSERT_EQ(r.kind, MatchResult::Hit);
    EXPECT_EQ(r.start, 0u);
    text = "aaaab aaaaaab x";
    const ScanBuffer second{reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, true, 8};
    r = scan.findNext(second, 0);
    ASSERT_EQ(r.kind, MatchResult::Hit);
    EXPECT_EQ(r.start, 6u);
    EXPECT_EQ(r.end, 13u);
}

} // namespace
} // namespace tw
