#include "results/HeldBackTail.h"
#include "results/ResultText.h"
#include "results/ResultsList.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

ResultEntry hit(long n)
{
    ResultEntry e;
    e.kind = LineKind::Hit;
    e.path = "/d/a.txt";
    e.lineNumber = n;
    e.text = "Line " + std::to_string(n) + " - x \x01\x02" "cat\x01\x03 y";
    return e;
}

// Enough hits to spill the store to its temporary file, and the edges of the bound.
TEST(heldBackTail, KeepsTheFileLineANoticeAndTheLastLines)
{
    struct Case {
        size_t hits, maxLines;
        size_t expectLines, expectOmitted;
    };
    const Case cases[] = {
        {4, 10, 5, 0},          // all fit
        {9, 10, 10, 0},         // exactly the bound
        {10, 10, 10, 2},        // one too many: file line, notice, the last 8 hits
        {20000, 2000, 2000, 18002},
        {50, 1, 3, 49},         // a bound below 3 counts as 3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hits);
        ResultsList list;
        ASSERT_TRUE(list.beginHoldBack());
        list.setPendingFile("/d/a.txt");
        list.emitPendingFileLine();
        for (size_t i = 1; i <= c.hits; ++i)
            list.addLine(hit(static_cast<long>(i)));
        const HeldBackTail tail = heldBackTail(list.heldBack(), c.maxLines);
        ASSERT_EQ(tail.lines.size(), c.expectLines);
        EXPECT_EQ(tail.omitted, c.expectOmitted);
        EXPECT_EQ(tail.lines.front().kind, LineKind::File);
        EXPECT_EQ(tail.lines.back().lineNumber, static_cast<long>(c.hits));
        EXPECT_EQ(tail.lines.back().path, "/d/a.txt");
        if (c.expectOmitted > 0) {
            EXPECT_EQ(tail.lines[1].text, omittedLinesNotice(c.expectOmitted));
            // No line is lost or repeated between the notice and the kept tail.
            EXPECT_EQ(tail.lines[2].lineNumber, static_cast<long>(c.expectOmitted + 1));
        } else {
            EXPECT_EQ(tail.lines[1].lineNumber, 1);
        }
        list.discardHeldBack();
    }
    EXPECT_EQ(omittedLinesNotice(1), "(1 earlier line of this file not shown)");
}

TEST(hitChange, TakesTheFoundTextFromAMatchingHitLineOnly)
{
    const std::string question = "Replace - x \x01\x02" "dog\x01\x03 y";
    struct Case {
        const char* name;
        ResultEntry line;
        bool known;
    };
    ResultEntry other = hit(3);
    other.text = "Line   3 - z \x01\x02" "cat\x01\x03 y"; // an earlier hit with other context
    ResultEntry replaceLine;
    replaceLine.kind = LineKind::ReplaceText;
    replaceLine.text = "dog";
    ResultEntry binary = hit(0);
    binary.text = "Offset 0x1f    - x \x01\x02" "c-t\x01\x03 y";
    const Case cases[] = {
        {"current hit", hit(1234), true},
        {"other context", other, false},
        {"not a hit line", replaceLine, false},
        {"binary prefix", binary, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HitChange change = hitChange(question, &c.line);
        EXPECT_EQ(change.before, "x ");
        EXPECT_EQ(change.replacement, "dog");
        EXPECT_EQ(change.after, " y");
        EXPECT_EQ(change.foundKnown, c.known);
        if (c.known) {
            EXPECT_EQ(change.found, c.line.text.find("c-t") != std::string::npos ? "c-t" : "cat");
        }
    }
    const HitChange none = hitChange(question, nullptr);
    EXPECT_FALSE(none.foundKnown);
    EXPECT_EQ(none.replacement, "dog");
}

} // namespace
} // namespace tw
