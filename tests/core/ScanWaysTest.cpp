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

} // namespace
} // namespace tw
