// The printed pages of a text file: where lines break at the page width, where tabs land,
// and how many lines a page holds.
#include "results/PrintLayout.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// Ten units a character; a line from x = 50 fits while it ends before 250, so 19
// characters fit and the 20th does not. Tab stops at 62, 100, 150 and 250.
PrintMetrics narrowPage(bool utf8 = true)
{
    PrintMetrics m;
    m.printableWidth = 250;
    m.printableHeight = 60; // 60 / 10 - 1 = 5 lines a page
    m.charWidth = 10;
    m.lineHeight = 10;
    m.utf8 = utf8;
    return m;
}

std::vector<PrintLine> allLines(const std::vector<PrintPage>& pages)
{
    std::vector<PrintLine> out;
    for (const PrintPage& p : pages)
        out.insert(out.end(), p.lines.begin(), p.lines.end());
    return out;
}

TEST(PrintLayout, LinesBreakAtTheWidthAndTabsGoToTheStops)
{
    const std::string nineteen = "0123456789012345678";
    std::string e19; // nineteen two-byte characters
    for (int i = 0; i < 19; ++i)
        e19 += "\xC3\xA9";
    const struct {
        const char* name;
        std::string text;
        bool utf8;
        std::vector<PrintLine> lines;
    } cases[] = {
        {"plain", "abc", true, {{{50, "abc"}}}},
        {"empty line", "\r\n", true, {{}}},
        {"one short of the width", nineteen, true, {{{50, nineteen}}}},
        // 50 + 20 * 10 is the width itself: not below it, so the last character moves on.
        {"exactly the width", nineteen + "x", true, {{{50, nineteen}}, {{50, "x"}}}},
        {"twice the width", nineteen + nineteen + "yz", true,
         {{{50, nineteen}}, {{50, nineteen}}, {{50, "yz"}}}},
        {"tab to the first stop", "a\tb", true, {{{50, "a"}, {112, "b"}}}},
        {"tabs through the stops", "\ta\tb\tc", true, {{{112, "a"}, {150, "b"}, {200, "c"}}}},
        {"tabs only", "\t\t", true, {{}}},
        // The tab after 16 characters would reach the last stop, the full width: it starts
        // the next line instead and expands there from the line's start.
        {"tab at a line break", "0123456789012345\tX", true, {{{50, "0123456789012345"}}, {{112, "X"}}}},
        // A character is one code point in UTF-8, one byte otherwise.
        {"utf-8 characters", e19 + "x", true, {{{50, e19}}, {{50, "x"}}}},
        {"single-byte characters", "\xC3\xA9" "0123456789012345678", false,
         {{{50, "\xC3\xA9" "01234567890123456"}}, {{50, "78"}}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(allLines(layoutPrintPages(c.text, narrowPage(c.utf8))), c.lines) << c.name;
}

TEST(PrintLayout, ACharacterWiderThanThePageStillMakesProgress)
{
    PrintMetrics m = narrowPage();
    m.printableWidth = 40; // not even one character fits after the left edge
    EXPECT_EQ(allLines(layoutPrintPages("ab\tc", m)),
              (std::vector<PrintLine>{{{50, "a"}}, {{50, "b"}}, {}, {{50, "c"}}}));
}

TEST(PrintLayout, LongLinesAreCutAtTheLineLimit)
{
    PrintMetrics m = narrowPage();
    m.printableWidth = 1 << 20; // wide enough for any line
    const std::vector<PrintLine> lines = allLines(layoutPrintPages(std::string(1500, 'q'), m));
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 1u);
    EXPECT_EQ(lines[0][0].text.size(), kPrintLineChars);
}

TEST(PrintLayout, PagesHoldTheirLineCount)
{
    const std::string nineteen = "0123456789012345678";
    const struct {
        const char* name;
        std::string text;
        int height;
        std::vector<size_t> linesPerPage;
    } cases[] = {
        {"empty file", "", 60, {}},
        {"one line", "a\r\n", 60, {1}},
        {"a full page", "1\r\n2\r\n3\r\n4\r\n5\r\n", 60, {5}},
        {"one line more", "1\r\n2\r\n3\r\n4\r\n5\r\n6", 60, {5, 1}},
        {"empty lines count", "\r\n\r\n\r\n\r\n\r\n\r\n", 60, {5, 1}},
        // The broken line's rest takes a line of the page.
        {"a broken line", "1\n2\n3\n4" + nineteen, 60, {5}},
        {"a broken line at the end", "1\n2\n3\n4\n" + nineteen + "x", 60, {5, 1}},
        // 25 / 10 - 1 = 1; a page lower than two lines still holds one.
        {"low page", "1\n2", 25, {1, 1}},
        {"page lower than a line", "1\n2", 5, {1, 1}},
    };
    for (const auto& c : cases) {
        PrintMetrics m = narrowPage();
        m.printableHeight = c.height;
        std::vector<size_t> counts;
        for (const PrintPage& p : layoutPrintPages(c.text, m))
            counts.push_back(p.lines.size());
        EXPECT_EQ(counts, c.linesPerPage) << c.name;
    }
}

} // namespace
} // namespace tw
