#include "engine/Escapes.h"
#include "engine/WhitespaceRuns.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct ExpandCase {
    std::string in;
    std::string out;
};

TEST(ExpandEscapes, Table)
{
    using namespace std::string_literals;
    const ExpandCase cases[] = {
        {"a\\tb", "a\tb"},
        {"C:\\\\temp", "C:\\temp"},
        {"C:\\temp", "C:\temp"},
        {"abc\\", "abc"},
        {"\\", ""},
        {"\\0x0D\\0x0A", "\r\n"},
        {"\\13\\10", "\r\n"},
        {"\\0x", "0x"},
        {"\\0xg", "0xg"},
        {"\\q", "q"},
        {"\\Q", "Q"},
        {"\\N", "N"},
        {"\\x41", "x41"},
        {"\\[", "["},
        {"\\%", "%"},
        {"\\0x41", "A"},
        {"\\0X41", "A"},
        {"\\65", "A"},
        {"\\0101", "A"},
        {"\\0", "\0"s},
        {"\\0x414", "A4"},
        {"\\1234", "\xD2"},
        {"\\12345", "\xD2" "5"},
        {"\\08", "\0" "8"s},
        {"\\0777", "\xFF"},
        {"\\a\\b\\f\\n\\r\\t\\v", "\a\b\f\n\r\t\v"},
        {"\\?\\'\\\"\\\\", "?'\"\\"},
        // A backslash produced by expansion is not expanded again.
        {"\\\\n", "\\n"},
        {"\\92n", "\\n"},
        {"plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandEscapes(c.in), c.out) << "input: " << c.in;
}

TEST(expandOneEscape, ReportsConsumedCharacters)
{
    const struct {
        std::string text;
        size_t used;
        std::string out;
    } cases[] = {
        {"\\0x7F]", 5, "\x7F"}, {"\\n]", 2, "\n"}, {"\\", 1, ""}, {"\\0x", 2, "0"}, {"\\1234x", 5, "\xD2"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(expandOneEscape(c.text, 0, out), c.used) << c.text;
        EXPECT_EQ(out, c.out) << c.text;
    }
}

TEST(IsEscaped, CountsPrecedingBackslashes)
{
    EXPECT_FALSE(IsEscaped("a\\\\b", 3));
    EXPECT_TRUE(IsEscaped("a\\b", 2));
    EXPECT_TRUE(IsEscaped("\\\\\\b", 3));
    EXPECT_FALSE(IsEscaped("\\b", 0));
    EXPECT_FALSE(IsEscaped("ab", 1));
}

TEST(FindOneOfUnescaped, Table)
{
    const struct {
        std::string text, set;
        long pos;
    } cases[] = {
        {"ab*c", "*?", 2},  {"a\\*b*", "*", 4}, {"a\\\\*", "*", 3}, {"abc", "*", -1},
        {"", "*", -1},      {"\\[x", "[(", -1}, {"x?y*", "*?", 1},  {"a b", " \t", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindOneOfUnescaped(c.text, c.set), c.pos) << c.text;
}

TEST(EscapeSpecials, BackslashFirstThenOthers)
{
    std::string t = "a+b\\c";
    EXPECT_EQ(EscapeSpecials(t, kSearchSpecials), 2);
    EXPECT_EQ(t, "a\\+b\\\\c");

    std::string r = "50%<x>\\";
    EXPECT_EQ(EscapeSpecials(r, kReplaceSpecials), 4);
    EXPECT_EQ(r, "50\\%\\<x\\>\\\\");

    std::string all(kSearchSpecials);
    EXPECT_EQ(EscapeSpecials(all, kSearchSpecials), 13);
    // Escaped text expands back to the original.
    EXPECT_EQ(ExpandEscapes(all), std::string(kSearchSpecials));

    std::string none = "plain";
    EXPECT_EQ(EscapeSpecials(none, kSearchSpecials), 0);
    EXPECT_EQ(none, "plain");
}

TEST(doubleBackslashes, RoundTripsThroughExpansion)
{
    std::string p = "\\lib\\0x41\\n";
    EXPECT_EQ(doubleBackslashes(p), 3);
    EXPECT_EQ(ExpandEscapes(p), "\\lib\\0x41\\n");
    std::string q = "no/backslash";
    EXPECT_EQ(doubleBackslashes(q), 0);
    EXPECT_EQ(q, "no/backslash");
}

TEST(ConvertWhitespaceRuns, Table)
{
    const struct {
        std::string search, replace, mask;
        int runs;
        std::string outSearch, outReplace;
    } cases[] = {
        {"if  (a)", "x", " \\t\\r\\n", 1, "if+[ \\t\\r\\n]\\(a\\)", "x"},
        {"x+y z", "50% <b>", " \\t\\r\\n", 1, "x\\+y+[ \\t\\r\\n]z", "50\\% \\<b\\>"},
        {"a b\t\tc", "", " \\t", 2, "a+[ \\t]b+[ \\t]c", ""},
        {" lead", "", " ", 1, "+[ ]lead", ""},
        {"trail \r\n", "", " \\r\\n", 1, "trail+[ \\r\\n]", ""},
        {"nospace", "%1", " \\t\\r\\n", 0, "nospace", "%1"},
        {"a\\ b", "r", " ", 0, "a\\ b", "r"}, // the only blank is escaped
        {"a b", "r", "", 0, "a b", "r"},
    };
    for (const auto& c : cases) {
        std::string s = c.search, r = c.replace;
        EXPECT_EQ(ConvertWhitespaceRuns(s, r, c.mask), c.runs) << c.search;
        EXPECT_EQ(s, c.outSearch) << c.search;
        EXPECT_EQ(r, c.outReplace) << c.search;
    }
}

} // namespace
} // namespace tw
