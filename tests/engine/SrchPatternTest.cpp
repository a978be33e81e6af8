#include "engine/CharClasses.h"
#include "engine/PatternScan.h"
#include "engine/SrchPattern.h"

#include <gtest/gtest.h>


namespace tw {
namespace {

std::unique_ptr<SrchPattern> make(std::string_view pattern, bool caseSensitive = true, int maxRepeat = 32767,
                                  const std::string* replace = nullptr)
{
    PatternOptions o;
    o.caseSensitive = caseSensitive;
    o.maxRepeat = maxRepeat;
    return SrchPattern::compile(pattern, replace, o);
}

// Every hit of the pattern in text, as "offset:text", resuming after each hit the way the
// per-file scan does.
std::vector<std::string> hits(const SrchPattern& pattern, const std::string& text, bool startsFile = true,
                              bool isLast = true)
{
    PatternScan p(pattern);
    std::vector<std::string> out;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t from = 0, hs = 0, he = 0;
    while (from < text.size() && p.findNext(b, text.size(), from, startsFile, isLast, &hs, &he)) {
        out.push_back(std::to_string(hs) + ":" + text.substr(hs, he - hs));
        EXPECT_EQ(p.hitText(), text.substr(hs, he - hs));
        EXPECT_GE(hs, from);
        from = he > hs ? he : he + 1;
        if (out.size() > text.size() + 1) {
            ADD_FAILURE() << "no progress";
            break;
        }
    }
    return out;
}

using HitList = std::vector<std::string>;

struct DumpCase {
    std::string pattern;
    bool caseSensitive;
    std::string dump;
};

TEST(SrchPatternCompile, ChainDumps)
{
    const DumpCase cases[] = {
        {"abc*[0-9]x(y|z)", true,
         "e0 lit \"abc\" op - 1..1\n"
         "e1 #1 set [0-9] op * 0..32767 num\n"
         "e2 lit \"x\" op - 1..1\n"
         "e3 #2 grp \"y\"|\"z\" op ? 1..1\n"
         "order e0 e2 e3 e1"},
        {"+3[0-9]", true, "e0 #1 set [0-9] op + 3..3 num\norder e0"},
        {"+3+[0-9]", true, "e0 #1 set [0-9] op + 3..32767 num\norder e0"},
        {"+2-5[a]", true, "e0 #1 set [a] op + 2..5\norder e0"},
        {"+5-2[a]", true, "e0 #1 set [a] op + 5..5\norder e0"},
        {"+-4[a]", true, "e0 #1 set [a] op + 1..4\norder e0"},
        {"+0[a]", true, "e0 #1 set [a] op + 1..1\norder e0"},
        {"+999999[a]", true, "e0 #1 set [a] op + 32767..32767\norder e0"},
        {"+999999999999999999999[a]", true, "e0 #1 set [a] op + 32767..32767\norder e0"},
        {"+3-99999(ab)", true, "e0 #1 grp \"ab\" op + 3..32767\norder e0"},
        // Without an operand the operator takes the any-character set; "+" then counts only the maximum.
        {"+", true, "e0 #1 set [any] op + 1..32767\norder e0"},
        {"+3x", true, "e0 #1 set [any] op + 1..3\ne1 lit \"x\" op - 1..1\norder e1 e0"},
        {"+3+x", true, "e0 #1 set [any] op + 1..32767\ne1 lit \"x\" op - 1..1\norder e1 e0"},
        {"?", true, "e0 #1 set [any] op ? 1..1\norder e0"},
        {"*", true, "e0 #1 set [any] op * 0..32767\norder e0"},
        {"**", true, "e0 #1 set [any] op * 0..32767\ne1 #2 set [any] op * 0..32767\norder e0 e1"},
        {"!(bar)", true, "e0 #1 grp \"bar\" op *! 0..32767\norder e0"},
        {"foo!x", true, "e0 lit \"foo\" op - 1..1\ne1 #1 set [any] op *! 0..32767\ne2 lit \"x\" op - 1..1\norder e0 e2 e1"},
        {"^abc$", true,
         "e0 #1 set [\\x0A\\x0D] op ?^ 1..2\ne1 lit \"abc\" op - 1..1\ne2 #2 set [\\x0A\\x0D] op ?$ 1..2\n"
         "order e1 e0 e2"},
        {"[]", true, "e0 #1 set [all] op ? 1..1\norder e0"},
        {"[-a]", true, "e0 #1 set [\\x2Da] op ? 1..1\norder e0"},
        {"[a-]", true, "e0 #1 set [\\x2Da] op ? 1..1\norder e0"},
        {"[a-cx]", true, "e0 #1 set [a-cx] op ? 1..1\norder e0"},
        {"[a-zA-Z0-9_]", true, "e0 #1 set [0-9A-Z_a-z] op ? 1..1\norder e0"},
        {"[\\0x41-\\0x43]", true, "e0 #1 set [A-C] op ? 1..1\norder e0"},
        {"[\\t-\\n]", true, "e0 #1 set [\\x09\\x0A] op ? 1..1\norder e0"},
        {"[c-a]", true, "e0 #1 set [] op ? 1..1\norder e0"},
        {"[\\]\\[]", true, "e0 #1 set [[\\x5D] op ? 1..1\norder e0"},
        {"[a\\-c]", true, "e0 #1 set [\\x2Dac] op ? 1..1\norder e0"},
        {"*[0-9-]", true, "e0 #1 set [\\x2D0-9] op * 0..32767 num\norder e0"},
        {"[a-c]", false, "e0 #1 set [A-Ca-c] op ? 1..1\norder e0"},
        {"Abc(dE|f)", false, "e0 lit \"ABC\" op - 1..1\ne1 #1 grp \"DE\"|\"F\" op ? 1..1\norder e0 e1"},
        {"(ca|cat)s", true, "e0 #1 grp \"ca\"|\"cat\" op ? 1..1\ne1 lit \"s\" op - 1..1\norder e1 e0"},
        // Inside a group every special is literal.
        {"(a*b)", true, "e0 #1 grp \"a*b\" op ? 1..1\norder e0"},
        {"(a|[b]|c\\|d)", true, "e0 #1 grp \"a\"|\"[b]\"|\"c|d\" op ? 1..1\norder e0"},
        {"x\\*y", true, "e0 lit \"x*y\" op - 1..1\norder e0"},
        {"a]b)", true, "e0 lit \"a]b)\" op - 1..1\norder e0"},
        {"\\0x41\\t", true, "e0 lit \"A\\x09\" op - 1..1\norder e0"},
        {"\\", true, "order"},
        {"", true, "order"},
        // Evaluation order: literals, fixed counts next to picked ones, '?', '+', '!', the rest.
        {"*[a]?x+[b]!(c)[d]", true,
         "e0 #1 set [a] op * 0..32767\ne1 #2 set [any] op ? 1..1\ne2 lit \"x\" op - 1..1\n"
         "e3 #3 set [b] op + 1..32767\ne4 #4 grp \"c\" op *! 0..32767\ne5 #5 set [d] op ? 1..1\n"
         "order e2 e1 e5 e3 e4 e0"},
    };
    for (const auto& c : cases) {
        auto p = make(c.pattern, c.caseSensitive);
        ASSERT_TRUE(p->ok()) << c.pattern;
        EXPECT_EQ(p->dumpChain(), c.dump) << c.pattern;
    }
}

TEST(SrchPatternCompile, RepeatLimitApplies)
{
    EXPECT_EQ(make("*x", true, 100)->dumpChain(), "e0 #1 set [any] op * 0..100\ne1 lit \"x\" op - 1..1\norder e1 e0");
    EXPECT_EQ(make("+999[a]", true, 7)->dumpChain(), "e0 #1 set [a] op + 7..7\norder e0");
    EXPECT_EQ(make("+2-999[a]", true, 7)->dumpChain(), "e0 #1 set [a] op + 2..7\norder e0");
}

TEST(SrchPatternCompile, UnbalancedBracketsAreErrors)
{
    const struct {
        std::string pattern, error;
    } cases[] = {
        {"[a-", "[a-"},
        {"x(ab", "(ab"},
        {"+3[0-9", "[0-9"},
        {"ab*(c|d", "(c|d"},
        {"a[\\t", "[\t"},
        {"((a)", "((a)"},
        {"[[a]", "[[a]"},
        {"[a\\]", "[a]"},
        {"ok[x]then[", "["},
    };
    for (const auto& c : cases) {
        auto p = make(c.pattern);
        EXPECT_FALSE(p->ok()) << c.pattern;
        EXPECT_EQ(p->error(), c.error) << c.pattern;
        size_t hs = 0, he = 0;
        const std::string text = "ab cd";
        EXPECT_FALSE(PatternScan(*p).findNext(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, true, true, &hs, &he));
    }
    // A closing bracket alone is an ordinary character.
    for (const char* ok : {"a]b", ")", "x)y]", "\\[a"}) {
        auto p = make(ok);
        EXPECT_TRUE(p->ok()) << ok;
        EXPECT_TRUE(p->error().empty()) << ok;
    }
}

TEST(SrchPatternCompile, NumberingAndWidth)
{
    auto p = make("abc*[0-9]x(y|z)");
    EXPECT_EQ(p->numberedCount(), 2);
    // abc: 1*3+3, set: 32767 -> capped.
    EXPECT_EQ(p->widthEstimate(), SrchPattern::kMaxWidthEstimate);
    EXPECT_EQ(make("abc")->widthEstimate(), 6);
    EXPECT_EQ(make("+3[0-9]x")->widthEstimate(), 3 + 2);
    EXPECT_EQ(make("+2(ab|cde)")->widthEstimate(), 2 * 3 + 3);
    EXPECT_EQ(make("+4(ab|cde)")->widthEstimate(), 4 * 3);
    EXPECT_EQ(make("^a$")->widthEstimate(), 2 + 2 + 2);
}

struct MatchCase {
    std::string pattern;
    std::string text;
    HitList hits;
    bool caseSensitive = true;
};

TEST(SrchPatternMatch, Table)
{
    const MatchCase cases[] = {
        // Wildcards stay inside a line; the empty set crosses line breaks.
        {"a*b", "axbxb", {"0:axb"}},
        {"a*b", "a\nb", {}},
        {"a*[]b", "a\nb", {"0:a\nb"}},
        {"a*b", "ab", {"0:ab"}},
        {"a?c", "abc a\nc", {"0:abc"}},
        {"+[0-9]", "x12345y", {"1:12345"}},
        {"+3[0-9]", "123456", {"0:123", "3:456"}},
        {"+3+[0-9]", "12 123 12345", {"3:123", "7:12345"}},
        {"+2-3[0-9]", "1 12 1234", {"2:12", "5:123"}},
        {"+-2[0-9]", "12345", {"0:12", "2:34", "4:5"}},
        {"+2", "abcde", {"0:ab", "2:cd", "4:e"}},
        {"+2(ab)", "ababab", {"2:abab"}},
        {"+2[ab]", "ababab", {"0:ab", "2:ab", "4:ab"}},
        {"+(ab)x", "abababx", {"0:abababx"}},
        {"(cat|dog)s", "cats and dogs", {"0:cats", "9:dogs"}},
        {"x(ca|cat)", "xcat", {"0:xca"}},
        {"(ca|cat)s", "cats", {"0:cats"}},
        {"(ca|cat)s", "ca xs cats", {"6:cats"}},
        {"+[0-9]x", "a12x 7x", {"1:12x", "5:7x"}},
        {"foo!(bar)", "foobaz", {"0:foo"}},
        {"foo!(bar)", "foobar", {}},
        {"foo!(bar)", "foobar foo", {"7:foo"}},
        {"^abc", "abc\nxabc\nabc", {"0:abc", "9:abc"}},
        {"^abc", "x\r\nabc", {"3:abc"}},
        {"abc$", "abc\nabcx\nabc", {"0:abc", "9:abc"}},
        {"abc$", "abc\r\nabc", {"0:abc", "5:abc"}},
        {"^+[0-9]$", "12\nx3\n45", {"0:12", "6:45"}},
        {"a$b", "a\nb a\r\nb", {"0:a\nb", "4:a\r\nb"}},
        {"a]b", "xa]b", {"1:a]b"}},
        {"x\\*y", "xay x*y", {"4:x*y"}},
        {"(a*b)", "axb a*b", {"4:a*b"}},
        {"[a-c]", "B", {"0:B"}, false},
        {"[a-c]", "B", {}, true},
        {"Abc", "xABC abc aBc Abc", {"1:ABC", "5:abc", "9:aBc", "13:Abc"}, false},
        {"Abc", "xABC abc aBc Abc", {"13:Abc"}, true},
        {"*[0-9]x", "ab12x", {"2:12x"}},
        {"x*[0-9]", "x12 x", {"0:x12", "4:x"}},
        {"+[a-z]+[0-9]", "ab c1", {"3:c1"}},
        // Patterns that can only match empty text find nothing.
        {"*[0-9]", "abc def", {}},
        {"!(x)", "abc", {}},
        {"*", "\n\n\n", {}},
        {"*[]", "", {}},
        // Anchors alone: the hit is the position after the line break.
        {"^", "a\nb", {"2:"}},
    };
    for (const auto& c : cases) {
        auto p = make(c.pattern, c.caseSensitive);
        ASSERT_TRUE(p->ok()) << c.pattern;
        EXPECT_EQ(hits(*p, c.text), c.hits) << "pattern: " << c.pattern << " text: " << c.text;
    }
}

TEST(SrchPatternMatch, FileStartAndEnd)
{
    auto caret = make("^abc");
    EXPECT_EQ(hits(*caret, "abc x", true, true), HitList{"0:abc"});
    EXPECT_EQ(hits(*caret, "abc x", false, true), HitList{});
    auto dollar = make("abc$");
    EXPECT_EQ(hits(*dollar, "x abc", true, true), HitList{"2:abc"});
    EXPECT_EQ(hits(*dollar, "x abc", true, false), HitList{});
    auto digitsAtEnd = make("+[0-9]$");
    EXPECT_EQ(hits(*digitsAtEnd, "ab 12 34", true, true), HitList{"6:34"});
}

TEST(SrchPatternMatch, RepeatLimitBoundsWildcards)
{
    auto p = make("a*b", true, 2);
    EXPECT_EQ(hits(*p, "axxb"), HitList{"0:axxb"});
    EXPECT_EQ(hits(*p, "axxxb"), HitList{});
}

TEST(SrchPatternMatch, HitIsAtMostTheWindow)
{
    // A wildcard run longer than the window is cut: the hit never exceeds twice the estimate.
    std::string text = "<" + std::string(50000, 'x') + ">";
    auto p = make("+");
    const auto found = hits(*p, text);
    ASSERT_FALSE(found.empty());
    for (const auto& h : found)
        EXPECT_LE(h.size() - h.find(':') - 1, size_t(2 * SrchPattern::kMaxWidthEstimate));
}

TEST(SrchPatternMatch, EmptyOnlyPatternsDoNotStallOnLargeInput)
{
    std::string text(200000, 'a');
    for (size_t i = 0; i < text.size(); i += 81)
        text[i] = '\n';
    for (const char* pat : {"*[0-9]", "!(x)", "*[0-9]*[x]"}) {
        auto p = make(pat);
        EXPECT_TRUE(hits(*p, text).empty()) << pat;
    }
}

TEST(SrchPatternMatch, ElementTexts)
{
    auto program = make("^id=+[0-9],*[a-z]$");
    PatternScan scan(*program);
    PatternScan* p = &scan;
    const std::string text = "x\nid=42,abc\r\n";
    size_t hs = 0, he = 0;
    ASSERT_TRUE(p->findNext(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, true, true, &hs, &he));
    EXPECT_EQ(text.substr(hs, he - hs), "id=42,abc");
    EXPECT_EQ(program->numberedCount(), 4);
    EXPECT_EQ(p->elementText(1), ""); // the leading line break is not part of the hit
    EXPECT_EQ(p->elementText(2), "42");
    EXPECT_EQ(p->elementText(3), "abc");
    EXPECT_EQ(p->elementText(4), "");
    EXPECT_EQ(p->elementText(5), "");
    EXPECT_EQ(p->elementText(0), "");
}

TEST(SrchPatternMask, MatchName)
{
    PatternOptions o;
    o.maskMode = true;
    const struct {
        std::string mask, name;
        bool match;
    } cases[] = {
        {"*.c", "x.c.c", true}, {"*.c", "A.C", true},      {"*.c", "a.cpp", false}, {"*.txt", "README.", false},
        {"*.*", "README.", true}, {"*.", "README.", true}, {"*.", "a.txt", false},  {"?.c", "a.c", true},
        {"?.c", "ab.c", false}, {"*", "", true},           {"?", "", false},        {"READ*", "readme.", true},
        {"a\\*b", "a*b", true}, {"a\\*b", "axb", false},   {"*a*b*", "xxaxxbxx", true}, {"*a*b", "xxbxxa", false},
        {"Makefile", "MAKEFILE", true},
    };
    for (const auto& c : cases) {
        auto p = SrchPattern::compile(c.mask, nullptr, o);
        ASSERT_TRUE(p->ok());
        EXPECT_EQ(p->matchName(c.name), c.match) << c.mask << " vs " << c.name;
    }
    auto p = SrchPattern::compile("?a*", nullptr, o);
    EXPECT_EQ(p->dumpChain(), "e0 #1 set [any] op ? 1..1\ne1 lit \"A\" op - 1..1\ne2 #2 set [any] op * 0..32767\n"
                              "order e1 e0 e2");
}

// Replacement builds through a compiled pattern: each hit's replacement in order.
std::vector<std::string> replacements(const std::string& pattern, const std::string& replace, const std::string& text)
{
    auto program = make(pattern, true, 32767, &replace);
    EXPECT_TRUE(program->ok());
    PatternScan scan(*program);
    PatternScan* p = &scan;
    std::vector<std::string> out;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t from = 0, hs = 0, he = 0;
    while (from < text.size() && p->findNext(b, text.size(), from, true, true, &hs, &he)) {
        out.push_back(p->buildReplacement());
        from = he > hs ? he : he + 1;
    }
    return out;
}

TEST(ReplaceChain, Table)
{
    using V = std::vector<std::string>;
    const struct {
        std::string pattern, replace, text;
        V out;
    } cases[] = {
        {"item+[0-9]", "item%1>", "item7 item3 item9", {"item8", "item9", "item10"}},
        {"item+[0-9]", "item%1>007>", "item7 item3 item9", {"item008", "item009", "item010"}},
        {"item+[0-9]", "item%1<", "item7 item3", {"item6", "item5"}},
        {"+[0-9]", "%1>", "007 x 1", {"008", "009"}},
        {"n+[0-9]", "%1<<", "n5 n5", {"4", "3"}},
        {"n+[0-9]", "%1> -5>", "n5", {"-4"}},
        {"n+[0-9]", "%1>-5>", "n5", {"-4"}},
        {"n*[0-9]", "%1>", "n", {"2"}},
        {"+[a-z]", "%1>", "abc", {"ABC"}},
        {"+[A-Z]", "%1<", "ABC", {"abc"}},
        {"+[a-z]", "%1>10>", "ab", {"AB10>"}},
        {"+[a-z]", "%%TWFILE%% %1", "ab", {"%%TWFILE%% %1"}},
        {"[a-z][a][b]", "%5", "xab", {""}},
        {"[a-z][a][b]", "%12", "xab", {"x2"}},
        {"[a-z][a][b]", "%3%2%1", "xab", {"bax"}},
        {"[a-z][a][b]", "50%%1", "xab", {"50%%1"}},
        {"[a-z][a][b]", "50\\%%1", "xab", {"50%x"}},
        {"[a-z][a][b]", "a\\tb%", "xab", {"a\tb%"}},
        {"[a-z][a][b]", "%", "xab", {"%"}},
        {"[a-z][a][b]", "", "xab", {""}},
        {"[a][b][c][d][e][f][g][h][i][j][k][l]", "%:%;%<%1", "abcdefghijkl", {"jkla"}},
        {"(cat|dog)s", "<%1>", "cats dogs", {"<CAT", "<DOG"}},
        {"(cat|dog)s", "\\<%1\\>", "cats dogs", {"<cat>", "<dog>"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(replacements(c.pattern, c.replace, c.text), c.out) << c.pattern << " / " << c.replace;
}

TEST(ReplaceChain, CountersContinueAcrossBlocks)
{
    const std::string replace = "%1>";
    auto program = make("+[0-9]", true, 32767, &replace);
    PatternScan scan(*program);
    PatternScan* p = &scan;
    size_t hs = 0, he = 0;
    const std::string a = "5 ", b = "100";
    ASSERT_TRUE(p->findNext(reinterpret_cast<const uint8_t*>(a.data()), a.size(), 0, true, true, &hs, &he));
    EXPECT_EQ(p->buildReplacement(), "6");
    ASSERT_TRUE(p->findNext(reinterpret_cast<const uint8_t*>(b.data()), b.size(), 0, false, true, &hs, &he));
    EXPECT_EQ(p->buildReplacement(), "7");
}

TEST(ReplaceChain, CaseChangeUsesCodePage)
{
    setActiveCodePage(CodePageKind::Windows1252);
    const std::string replace = "%1>|%1<";
    auto program = make("+[a-z\\0xC0-\\0xFF]", true, 32767, &replace);
    PatternScan scan(*program);
    PatternScan* p = &scan;
    const std::string text = "\xE9t\xE9";
    size_t hs = 0, he = 0;
    ASSERT_TRUE(p->findNext(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, true, true, &hs, &he));
    EXPECT_EQ(p->buildReplacement(), "\xC9T\xC9|\xE9t\xE9");
    setActiveCodePage(CodePageKind::Utf8);
}

} // namespace
} // namespace tw
