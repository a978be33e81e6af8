#include "script/ScriptFile.h"

#include "ScriptTestSupport.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tw {
namespace {

using test::describe;

// Every "\n" of `text` as CR LF.
std::string crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

Script readText(const std::string& bytes, const ScriptReadContext& context = {})
{
    Script s;
    const ScriptLoadResult r = readScriptBytes(s, bytes, "/x.tws", context);
    EXPECT_TRUE(r.read);
    EXPECT_TRUE(r.messages.empty()) << r.messages.front();
    return s;
}

// The example script: description, expression, two pairs, two path entries, read from
// and written to the same bytes.
TEST(ScriptFile, ExampleReadsAndWritesTheSameBytes)
{
    test::TempDir dir; // holds neither "docs" nor "rel.2"
    const std::string base = dir.path();
    const std::string bytes = crlf("[Script for Tarnwick]\n"
                                   "Renumber releases, skip obsolete files\n"
                                   "[Expression]\nE1 AND NOT E2\n"
                                   "[Search /ix]version lines\nVersion +[0-9]\n[Replace]\nRelease %1>\n"
                                   "[Search /i]\nOBSOLETE\n[Replace]\n\n"
                                   "[Path]\n" + base + "docs/*.txt;*.doc\n"
                                   "[Path]\n" + base + "rel.2/;readme\n"
                                   "[End of Tarnwick Script]\n");
    Script s = readText(bytes);
    EXPECT_EQ(describe(s), "D[Renumber releases, skip obsolete files] X[E1 AND NOT E2]"
                           " {ix|Version +[0-9]|Release %1>|version lines|} {i|OBSOLETE|}"
                           " <" + base + "docs/|*.txt;*.doc> <" + base + "rel.2/|readme>");
    EXPECT_EQ(s.filePath, "/x.tws");
    EXPECT_FALSE(s.options);
    EXPECT_EQ(s.subdirectories, ScriptSubdirs::FromWindow);
    EXPECT_EQ(formatScript(s, {}), bytes);
}

struct ReadCase {
    const char* name;
    const char* text; // "\n" is CR LF unless `lineFeedsOnly`
    const char* expected; // describe() of the script read
    bool lineFeedsOnly = false;
};

const ReadCase kReadCases[] = {
    {"TextSpanningLines", "[Script for Tarnwick]\n[Search]\na\nb\n[Replace]\n\nc\n[End of Tarnwick Script]\n",
     "D[] X[] {|a\r\nb|\r\nc}"},
    {"SectionStartInsideTextEndsTheBlock",
     "[Script for Tarnwick]\n[Search]\nax[Path\n[Replace]\nr\n[Search]\na[Replace]b\n[End of Tarnwick Script]\n",
     "D[] X[] {|ax|r} {|a|||b}"},
    {"EscapedBracketNeverStartsASection",
     "[Script for Tarnwick]\n[Search]\na\\[Path]b\\[Replace\n[Replace]\nr\n[End of Tarnwick Script]\n",
     "D[] X[] {|a\\[Path]b\\[Replace|r}"},
    {"FlagLettersInEitherCase",
     "[Script for Tarnwick]\n[Search /IX]c1\nt\n[Replace]c2\nu\n[Search /wHq]\nv\n[Replace /I]\nw\n"
     "[End of Tarnwick Script]\n",
     "D[] X[] {ix|t|u|c1|c2} {iwh|v|w}"},
    {"BinaryBlocks", "[Script for Tarnwick]\n[Search /b]\n\x01\x02\n[Replace /B]\nzz\n[End of Tarnwick Script]\n",
     "D[] X[] {|B:\x01\x02|B:zz}"},
    {"MissingEndLineLosesTheLastPairWhole",
     "[Script for Tarnwick]\n[Search]\na\n[Replace]\nb\n[Search]\nc\n[Replace]\nd\n", "D[] X[] {|a|b}"},
    {"MissingEndLineLosesTheLastPath",
     "[Script for Tarnwick]\n[Search]\na\n[Replace]\nb\n[Path]\n/p/;*.c\n[Path]\n/q/;*.h\n",
     "D[] X[] {|a|b} </p/|*.c>"},
    {"OneCharacterDescriptionThenExpression",
     "[Script for Tarnwick]\nd\n[Expression]\nE1\n[Search]\na\n[Replace]\nb\n[End of Tarnwick Script]\n",
     "D[d] X[E1] {|a|b}"},
    {"ReplaceWithoutSearchIsSkipped",
     "[Script for Tarnwick]\n[Replace]\nr\n[Search]\na\n[Replace]\nb\n[Replace]\nc\n[End of Tarnwick Script]\n",
     "D[] X[] {|a|b}"},
    {"ExpressionAndOptionsOnlyAfterTheDescription",
     "[Script for Tarnwick]\n[Search]\na\n[Expression]\nE1\n[Replace]\nb\n[End of Tarnwick Script]\n",
     "D[] X[] {|a|b}"},
    {"SectionNamesInAnyCase", "[script for tarnwick]\nD\n[EXPRESSION]\nE1\n[search]\na\n[rePLACE]\nb\n[END OF TARNWICK SCRIPT]\n",
     "D[D] X[E1] {|a|b}"},
    {"SearchNeedsABlankOrBracket", "[Script for Tarnwick]\n[Search]\na[Searching\n[Replace]\nb\n[End of Tarnwick Script]\n",
     "D[] X[] {|a[Searching|b}"},
    {"MultiLineDescription", "[Script for Tarnwick]\none\ntwo\n[Search]\na\n[Replace]\nb\n[End of Tarnwick Script]\n",
     "D[one\r\ntwo] X[] {|a|b}"},
    {"LineFeedsOnly", "[Script for Tarnwick]\nd\n[Search]\na\n[Replace]\nb\n[Path]\n/p/;x\n[End of Tarnwick Script]\n",
     "D[d] X[] {|a|b} </p/|x>", true},
    {"SearchWithoutReplaceKeptByTheNextSection",
     "[Script for Tarnwick]\n[Search]\na\n[Path]\n/p/*.c\n[End of Tarnwick Script]\n", "D[] X[] {|a|} </p/|*.c>"},
    // Neither a pair nor a path: plain lines, with the window's flags (case off, word on).
    {"PlainLines", "foo\nbar\n\nbaz\n", "D[] X[] {iw|foo|bar} {iw|baz|}"},
    {"PlainLinesWithLineFeeds", "\n\nfoo\n\nbar", "D[] X[] {iw|foo|} {iw|bar|}", true},
    {"TextScriptWithoutPairsIsReadAsLines", "[Script for Tarnwick]\nd\n[End of Tarnwick Script]\n",
     "D[] X[] {iw|[Script for Tarnwick]|d} {iw|[End of Tarnwick Script]|}"},
    {"ShorterThanFourBytesIsEmpty", "a\nb", "D[] X[]", true},
};

class ScriptReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ScriptReadTest, Reads)
{
    const ReadCase& c = GetParam();
    ScriptReadContext context;
    context.caseSensitive = false;
    context.wholeWord = true;
    EXPECT_EQ(describe(readText(c.lineFeedsOnly ? c.text : crlf(c.text), context)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScriptReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptFile, BinaryFormat)
{
    SearchPair a = test::makePair("one", "two");
    a.regularExpression = true;
    a.caseSensitive = false;
    SearchPair b = test::makePair(kBinaryPlaceholder, "r");
    b.binarySearchBlock = std::string("\0\xff", 2);
    b.wholeWord = true;
    const std::string bytes = test::binaryScript({a, b}, {"/p/", "*.c", "/q/", "*.h;*.c"});
    Script s = readText(bytes);
    const char expected[] = "D[] X[] {ix|one|two} {w|B:\0\xff|r} </p/|*.c> </q/|*.h;*.c>";
    EXPECT_EQ(describe(s), std::string(expected, sizeof expected - 1));
}

TEST(ScriptFile, WriterFormat)
{
    Script s;
    SearchPair p = test::makePair(kBinaryPlaceholder, kBinaryPlaceholder);
    p.binarySearchBlock = "S";
    p.binaryReplaceBlock = "R";
    p.caseSensitive = false;
    p.regularExpression = p.wholeWord = p.ignoreWhitespace = true;
    p.searchComment = "first\nsecond"; // a comment is one line
    s.pairs.push_back(p);
    s.pairs.push_back(test::makePair("", ""));
    s.paths.push_back({"/a/", ";x"});
    EXPECT_EQ(formatScript(s, {}), crlf("[Script for Tarnwick]\n[Search /bixwh]first\nS\n[Replace /b]\nR\n"
                                        "[Search]\n\n[Replace]\n\n[Path]\n/a/;;x\n[End of Tarnwick Script]\n"));
}

TEST(ScriptFile, ExpressionIsValidatedAgainstThePairs)
{
    const std::string pairs = "[Search]\na\n[Replace]\nb\n[Search]\nc\n[Replace]\nd\n[End of Tarnwick Script]\n";
    struct Case {
        std::string expression, message;
    } cases[] = {
        {"E2 AND NOT E1", ""},
        {"E10001", "Cannot use variable E10001"},
        {"E1 OR FOO", "Invalid variable FOO"},
        {"E0", ""}, // a variable that reads 0 (no pair has number 0): valid, kept
        {std::string(10000, '(') + "E1" + std::string(10000, ')'), "?"},
    };
    for (const Case& c : cases) {
        Script s;
        const auto r = readScriptBytes(s, crlf("[Script for Tarnwick]\n[Expression]\n" + c.expression + "\n" + pairs),
                                       "/x", {});
        ASSERT_EQ(s.pairs.size(), 2u);
        if (c.message.empty()) {
            EXPECT_TRUE(r.messages.empty());
            EXPECT_EQ(s.expression, c.expression);
            continue;
        }
        ASSERT_EQ(r.messages.size(), 1u) << c.expression.substr(0, 40);
        if (c.message != "?") {
            EXPECT_EQ(r.messages[0], c.message);
        }
        EXPECT_EQ(s.expression, "");
    }
}

} // namespace
} // namespace tw
