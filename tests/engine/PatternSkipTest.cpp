// Passing over attempts by the relaxed-span filter, and the scan's memory of element runs
// and searches (within a call and, for a buffer whose bytes stay the same, from one call to
// the next), must not change a single hit nor the bytes any element took (the replace
// tokens read them): random star-, repeat-, count- and group-heavy patterns over texts of
// long lines, compared with the same scan made attempt by attempt over the whole text, and
// blockwise the way the per-file scan feeds a file.
#include "engine/PatternScan.h"
#include "engine/SrchPattern.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace tw {
namespace {

// Each hit as "start,end" and, for every numbered element, the length and a hash of the
// bytes it took.
std::vector<std::string> scanAll(const SrchPattern& pattern, const std::string& text, bool skip, size_t blockLen)
{
    PatternScan scan(pattern, skip);
    std::vector<std::string> out;
    uint64_t bytesId = 0; // one per block: the scan may keep what it learnt within one
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    size_t base = 0, from = 0; // the block starts at file offset `base`
    while (true) {
        const size_t len = std::min(blockLen, text.size() - base);
        if (from == 0)
            ++bytesId;
        const ScanBuffer buf{data + base, len, base == 0, base + len == text.size(), skip ? bytesId : 0};
        const MatchResult r = from <= len ? scan.findNext(buf, from) : MatchResult{};
        if (r.kind == MatchResult::NoHit)
            return out;
        if (r.kind == MatchResult::NeedMore) {
            EXPECT_FALSE(buf.endsFile);
            EXPECT_GT(base + r.resume + len, base + from) << "no progress";
            if (r.resume == 0 && len == blockLen)
                return out; // cannot happen with blocks above twice the reach
            base += r.resume;
            from = 0;
            continue;
        }
        std::string line = std::to_string(base + r.start) + "," + std::to_string(base + r.end);
        for (int n = 1; n <= pattern.numberedCount(); ++n)
        {
            const std::string taken = scan.elementText(n);
            line += "|" + std::to_string(taken.size()) + ":" + std::to_string(std::hash<std::string>{}(taken) % 100000);
        }
        out.push_back(line);
        from = r.end > r.start ? r.end : r.end + 1;
        if (from >= len && buf.endsFile)
            return out;
    }
}

std::string randomPattern(std::mt19937& rng)
{
    static const char* const pieces[] = {"a",   "ab",   "d",      "*",     "*",      "*",        "+",
                                         "?",   "*[ab]", "+[a]",  "+2-4[a]", "+3(ab)", "(a|ab|ba)", "*(ab|b)",
                                         "+(a|d)", "![b]", "+[b-d]", "^",   "$",      "+1-2(a)",  "?[d]",
                                         "+40(aa|a)", "+5-50[]", "+-60(a|b)", "+20+(a)", "+10(ab|a)", "+50[ab]"};
    std::uniform_int_distribution<size_t> count(2, 7), pick(0, std::size(pieces) - 1);
    std::string p;
    for (size_t n = count(rng); n > 0; --n)
        p += pieces[pick(rng)];
    return p;
}

// About 100 KB of lines over few letters: long runs of 'a', some 'b', rare 'd', CR LF ends,
// a few lines of many thousand bytes.
std::string randomText(std::mt19937& rng)
{
    std::uniform_int_distribution<int> percent(0, 99);
    std::string t;
    while (t.size() < 100000) {
        const int roll = percent(rng);
        const size_t len = roll < 3 ? 20000 + static_cast<size_t>(percent(rng)) * 300
                                    : static_cast<size_t>(percent(rng)) * (roll < 30 ? 30 : 2);
        for (size_t k = 0; k < len; ++k) {
            const int c = percent(rng);
            t += c < 80 ? 'a' : c < 97 ? 'b' : c < 98 ? 'A' : c < 99 ? 'c' : 'd';
        }
        t += percent(rng) < 10 ? "\r\n" : "\n";
    }
    return t;
}

TEST(PatternSkip, RandomPatternsFindTheSameHitsAndElements)
{
    std::mt19937 rng(5150);
    size_t hits = 0;
    for (int round = 0; round < 24; ++round) {
        PatternOptions o;
        o.caseSensitive = round % 4 != 1;
        const std::string pattern = randomPattern(rng);
        auto p = SrchPattern::compile(pattern, nullptr, o);
        ASSERT_TRUE(p->ok()) << pattern;
        const std::string text = randomText(rng);
        const std::vector<std::string> expected = scanAll(*p, text, false, text.size());
        hits += expected.size();
        EXPECT_EQ(scanAll(*p, text, true, text.size()), expected) << pattern;
        const size_t block = 2 * p->widthEstimate() * 2 + 1 + rng() % 30000;
        EXPECT_EQ(scanAll(*p, text, true, block), expected) << pattern << " in blocks of " << block;
    }
    EXPECT_GT(hits, 1000u);
}

TEST(PatternSkip, HostilePatternsFindTheSameHitsAndElements)
{
    // Many stars before a byte that is rare or missing, plus-repeats of one byte, groups
    // that start everywhere but rarely finish; the rare byte sits at a line's start or end,
    // or across the edge of a block.
    const char* const patterns[] = {"*a*a*a*d", "a*a*a*a*a*d", "*a*b", "+[a]+[a]+[a]b", "*a*a*b",
                                    "(a|b)*(ab|ba)*(d|c)", "+(a |b )(a|b)+[a-d](d|c)", "a*d$", "^a*a*d",
                                    "+[ab]*(ad|da)", "*[ab]d*[a]d", "*b*d", "*b*d+[a]",
                                    // Counts that fail by too many repetitions or too few bytes, from
                                    // every start of a long run; elements found far away, or empty.
                                    "+300(a)", "a+300(a)", "a+300[a]b", "a+300(a)b", "+30(ab)", "+40(aa|a)",
                                    " *[a]+300(a)b", "(a|ab|ba)*+40(aa|a)", "a+20(a|b)", "+5-50[]+40(aa|a)",
                                    "a*[ab]*[ab]![b]", "+[a]*[ab]![b]", "b+2-40[a]*[ab]+[b-d]d", "+50[ab]![b]+-60(a|b)",
                                    "+20(aaaaa)", "b+7(aaa)*d"};
    std::mt19937 rng(99);
    for (const char* const pattern : patterns) {
        auto p = SrchPattern::compile(pattern, nullptr, PatternOptions{});
        ASSERT_TRUE(p->ok()) << pattern;
        // A 'b' far before the next one, which is near a 'd': the landing of a pass over
        // attempts decides where the window of the next one starts.
        const std::string farApart = std::string(100, 'a') + "b" + std::string(25000, 'a') + "b" + "aada\n";
        std::string text;
        bool planted = false;
        while (text.size() < 70000) {
            if (text.size() > 30000 && !planted) {
                text += farApart;
                planted = true;
            }
            const size_t len = 50 + rng() % (rng() % 8 == 0 ? 9000 : 300);
            std::string line(len, 'a');
            for (size_t k = 0; k < len / 20; ++k)
                line[rng() % len] = rng() % 3 ? 'b' : ' ';
            if (rng() % 5 == 0)
                line[rng() % 2 ? 0 : len - 1] = rng() % 2 ? 'd' : 'c';
            text += line + (rng() % 4 ? "\n" : "\r\n");
        }
        const std::vector<std::string> expected = scanAll(*p, text, false, text.size());
        EXPECT_EQ(scanAll(*p, text, true, text.size()), expected) << pattern;
        for (const size_t block : {size_t(4 * p->widthEstimate() + 7), size_t(4 * p->widthEstimate() + 20011)})
            EXPECT_EQ(scanAll(*p, text, true, block), expected) << pattern << " in blocks of " << block;
    }
}

// Runs of one byte value, mostly 'a': a few bytes long, close to the counts of the patterns
// below, or of some thousand bytes; mixed case, CR LF and bare line ends between them. The
// ground on which attempts are passed because the next ones see the same bytes shifted,
// because a count is exceeded from deep in a run, or because the byte after the first
// element can start nothing that must follow.
std::string runsText(std::mt19937& rng, size_t size)
{
    static const char bytes[] = {'a', 'a', 'a', 'a', 'a', 'b', 'A', 'x', 'd', ' ', '\n'};
    static const size_t near[] = {5, 10, 20, 25, 30, 40, 50, 80, 100, 200};
    std::string t;
    while (t.size() < size) {
        const char c = bytes[rng() % std::size(bytes)];
        const int kind = static_cast<int>(rng() % 3);
        const size_t len = kind == 0 ? 1 + rng() % 8 : kind == 1 ? near[rng() % std::size(near)] + rng() % 5 - 2
                                                                  : 500 + rng() % 2500;
        t.append(c == '\n' ? 1 : len, c);
        if (rng() % 6 == 0)
            t += rng() % 2 ? "\r\n" : "\n";
        // Now and then one of these hits of the patterns below.
        static const std::string planted[] = {"x" + std::string(130, 'a') + "b", "x" + std::string(31, 'a') + "\n",
                                              "d" + std::string(20, 'a') + "\r\n", "\n" + std::string(20, 'a') + "b",
                                              "baaaab", "aab" + std::string(10, 'a') + "d"};
        if (rng() % 3 == 0)
            t += planted[rng() % std::size(planted)];
    }
    return t;
}

TEST(PatternSkip, RunsOfOneByteFindTheSameHitsAndElements)
{
    const char* const patterns[] = {
        // Counts exceeded from deep in a run, after a first literal of one or two bytes.
        "a+100(a)b", "a+100(a)", "xa+30(a)", "a+1-30(a)d", "d+20(a)$", "a+5(A)",
        // Windows inside a run of one byte, with the window's end, anchors and the file's
        // end in reach of the last attempts.
        "+40(aa|a)", "a+-3(ab|b)+5(aa|a)d", "+200(a)", "a+40[a]$", "+30(a)$", "^+20(a)", "*[a]+25(a)$",
        "+2-40[a]d", "a!+3(a)b", "+[bx]+100[a]", "?+50(a)",
        // Candidates of a searched one-byte count passed while the run holds one more.
        "+100(a)", "d*[ab]+20(A)", "b+3-9(a)", "x*[x]+30(a)*[bx]",
        // The byte after the first element starts none of the elements that must follow, or
        // only one of a group's alternatives, an optional one, an anchor, a folded letter.
        "x*[a]+100(a)b", "x*[a]+30(a)b", "a(b|xa|d)", "b*[x]*(d|A)+3[a]", "x$", "a*[ ]$", "x!(a)d", "d?+[a]"};
    std::mt19937 rng(4242);
    for (const char* const pattern : patterns)
        for (const bool caseSensitive : {true, false}) {
            PatternOptions o;
            o.caseSensitive = caseSensitive;
            auto p = SrchPattern::compile(pattern, nullptr, o);
            ASSERT_TRUE(p->ok()) << pattern;
            // Ends with a run of 'a' and no line end: the last window reaches the file's end.
            const std::string text = runsText(rng, 40000) + std::string(1000 + rng() % 3000, 'a');
            const std::vector<std::string> expected = scanAll(*p, text, false, text.size());
            EXPECT_EQ(scanAll(*p, text, true, text.size()), expected) << pattern << " case " << caseSensitive;
            for (const size_t block : {size_t(4 * p->widthEstimate() + 3), size_t(4 * p->widthEstimate() + 9001)})
                EXPECT_EQ(scanAll(*p, text, true, block), expected)
                    << pattern << " case " << caseSensitive << " in blocks of " << block;
        }
}

TEST(PatternSkip, ShiftedWindowsStopAtTheEdgesOfTheRun)
{
    // One run of 'a' around the window's width (28 and 32 bytes here), then each of these
    // tails or the file's end: the last attempts of the run see the tail, and some hit.
    size_t hits = 0;
    for (const char* const pattern : {"a+10(a)+-3[ab]$", "+6(aa|a)+1-2[ab]"}) {
        auto p = SrchPattern::compile(pattern, nullptr, PatternOptions{});
        ASSERT_TRUE(p->ok());
        for (const std::string tail : {"", "\n", "b", "b\n", "\r\n", "ab", "bbbb"})
            for (size_t run = 20; run < 80; run += run < 40 ? 1 : 7) {
                const std::string text = "b" + std::string(run, 'a') + tail;
                const std::vector<std::string> expected = scanAll(*p, text, false, text.size());
                hits += expected.size();
                EXPECT_EQ(scanAll(*p, text, true, text.size()), expected)
                    << pattern << ": " << run << " then '" << tail << "'";
            }
    }
    EXPECT_GT(hits, 100u);
}

} // namespace
} // namespace tw
