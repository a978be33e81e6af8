// Search and replace cases through every way a run reads a file (ScanTester.h).
#include "ScanTester.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::checkScanCase;
using test::ScanCase;
using test::scanPair;

TEST(ScanWays, ALiteralAndAPatternGiveTheirLinesAndOutputEveryWay)
{
    ScanCase c;
    c.content = "one cat\r\ntwo Cat cat\nitem7 item3\n";
    c.pair = scanPair("cat", "dog");
    c.lines = std::vector<std::string>{"Processing file : f00.txt", "Line   1 - one <cat>", "Line   2 - two Cat <cat>",
                                       "Found 2 occurrences.", "Searched 1 file(s), found 2 occurrences in 1 file(s)"};
    c.output = "one dog\r\ntwo Cat dog\nitem7 item3\n";
    checkScanCase(c);
    c.pair = scanPair("item+[0-9]", "item%1>", true);
    c.lines.reset();
    c.output = "one cat\r\ntwo Cat cat\nitem8 item9\n";
    checkScanCase(c);
}

// Anchors at CR LF line ends, whole words without regard to case, characters of two,
// three and four bytes (a surrogate pair in UTF-16), a NUL that makes the file binary, and
// an empty replacement; block sizes put each across a boundary somewhere.
TEST(ScanWays, TrickyTextsAgreeEveryWay)
{
    struct Case {
        std::string content;
        SearchPair pair;
        long hits;
        std::string output;
    };
    const std::string chars = "d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC" "5 \xF0\x9F\x98\x80\xE2\x82\xAC\r\n";
    const Case cases[] = {
        {"abc\r\nxabc\r\nabc", test::scanPair("^abc", "[%1]", true), 2, "[]\r\nxabc\r\n[]"},
        {"abc\r\nabcx\r\nabc", test::scanPair("abc$", "Z", true), 2, "Z\r\nabcx\r\nZ"},
        {"AB ab_ xab aB.ab", test::scanPair("ab", "w", false, false, true), 3, "w ab_ xab w.w"},
        {chars + chars, test::scanPair("\xE2\x82\xAC", "\xF0\x9F\x98\x81", false), 4,
         "d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x81" "5 \xF0\x9F\x98\x80\xF0\x9F\x98\x81\r\n"
         "d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x81" "5 \xF0\x9F\x98\x80\xF0\x9F\x98\x81\r\n"},
        {std::string("one cat\0two cat\n", 16), test::scanPair("cat", ""), 2, std::string("one \0two \n", 10)},
    };
    for (const Case& k : cases) {
        ScanCase c;
        c.content = k.content;
        c.pair = k.pair;
        c.hits = k.hits;
        c.output = k.output;
        c.blockSizes = {102400, 5, 9};
        checkScanCase(c, k.pair.searchText);
    }
}

} // namespace
} // namespace tw
