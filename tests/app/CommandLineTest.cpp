#include "app/CommandLine.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

// The observable result of a parse, flattened so table rows can state it compactly.
struct Expected {
    std::string flags;         // letters of the set flags, in the order "idwxhtrqn", plus "s" for search
    std::string searchText;
    std::string replaceText;
    std::string path;
    std::string given;         // letters of the given values: S R P O C T B
};

std::string flagsOf(const CommandLineRequest& r)
{
    std::string f;
    if (r.caseInsensitive) f += 'i';
    if (r.subdirectories) f += 'd';
    if (r.wholeWord) f += 'w';
    if (r.regularExpression) f += 'x';
    if (r.ignoreWhitespace) f += 'h';
    if (r.touch) f += 't';
    if (r.replace) f += 'r';
    if (r.closeAfterRun) f += 'q';
    if (r.noPrompts) f += 'n';
    if (r.search) f += 's';
    return f;
}

std::string givenOf(const CommandLineRequest& r)
{
    std::string g;
    if (r.searchTextGiven) g += 'S';
    if (r.replaceTextGiven) g += 'R';
    if (r.pathGiven) g += 'P';
    if (r.outputFileGiven) g += 'O';
    if (r.scriptFileGiven) g += 'C';
    if (r.touchDateTimeGiven) g += 'T';
    if (r.backupPathGiven) g += 'B';
    return g;
}

struct ParseCase {
    const char* name;
    const char* text;
    Expected expected;
};

class ParseCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, Parses)
{
    const ParseCase& c = GetParam();
    const CommandLineRequest r = parseCommandLine(c.text);
    EXPECT_EQ(flagsOf(r), c.expected.flags) << c.text;
    EXPECT_EQ(r.searchText, c.expected.searchText) << c.text;
    EXPECT_EQ(r.replaceText, c.expected.replaceText) << c.text;
    EXPECT_EQ(r.path, c.expected.path) << c.text;
    EXPECT_EQ(givenOf(r), c.expected.given) << c.text;
}

const ParseCase kParseCases[] = {
    {"OnlySearch", "/S\"abc\"", {"s", "abc", "", "", "S"}},
    {"Empty", "", {"", "", "", "", ""}},
    {"BackslashQuote", R"(/S"say \"hi\" now")", {"s", "say \"hi\" now", "", "", "S"}},
    {"OtherBackslashesKept", R"(/S"a\tb" /d)", {"ds", "a\\tb", "", "", "S"}},
    // A quote preceded by a backslash never closes the value, even after two backslashes.
    {"BackslashBeforeQuoteNeverCloses", R"(/S"a\\" /d)", {"s", "a\\\" /d", "", "", "S"}},
    {"UnterminatedQuoteRunsToEnd", "/S\"abc def", {"s", "abc def", "", "", "S"}},
    {"UnquotedEndsAtSpace", "/Sfoo bar /d", {"ds", "foo", "", "", "S"}},
    {"OneLeadingSpaceDropped", "/S foo", {"s", "foo", "", "", "S"}},
    {"SecondSpaceMakesEmptyValue", "/S  foo", {"s", "", "", "", "S"}},
    {"SlashInsideValueIsNotASwitch", "/P /src/*.c /d", {"d", "", "", "/src/*.c", "P"}},
    {"LowerCaseValueSwitches", "/sfoo /p/tmp/*.txt", {"s", "foo", "", "/tmp/*.txt", "SP"}},
    {"ReplaceSwitch", "/Sold /Rnew", {"rs", "old", "new", "", "SR"}},
    {"BareRIsReplaceSwitch", "/r", {"r", "", "", "", "R"}},
    {"BareTIsTouchSwitch", "/T", {"t", "", "", "", "T"}},
    {"RAfterFlagIsFlag", "/dr", {"dr", "", "", "", ""}},
    {"TAfterFlagIsFlag", "/it", {"it", "", "", "", ""}},
    {"ValueSwitchWinsOverFlag", "/Rd", {"r", "", "d", "", "R"}},
    {"AllFlagsEitherCase", "/iDwXhTrQn", {"idwxhtrqn", "", "", "", ""}},
    {"SeparateFlagRuns", "/i /w /x", {"iwx", "", "", "", ""}},
    {"FlagRunStopsAtOtherLetter", "/dzw", {"d", "", "", "", ""}},
    {"FlagRunStopsAtSlash", "/d/Sx", {"ds", "x", "", "", "S"}},
    // Only the first 18 positions after the "/" are read as flags.
    {"FlagRunLimit", "/ddddddddddddddddddi", {"d", "", "", "", ""}},
    {"FlagRunJustInsideLimit", "/dddddddddddddddddi", {"id", "", "", "", ""}},
    {"SlashAtEnd", "/d /", {"d", "", "", "", ""}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseCommandLineTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(parseCommandLine, OtherValueSwitches)
{
    const CommandLineRequest r =
        parseCommandLine("/O\"/tmp/out file.txt\" /c/tmp/s.tws /B/bak/ /T\"01/02/2003 10:00\"");
    EXPECT_EQ(r.outputFile, "/tmp/out file.txt");
    EXPECT_EQ(r.scriptFile, "/tmp/s.tws");
    EXPECT_EQ(r.backupPath, "/bak/");
    EXPECT_EQ(r.touchDateTime, "01/02/2003 10:00");
    EXPECT_TRUE(r.touch);
    EXPECT_EQ(givenOf(r), "OCTB");
}

TEST(parseCommandLine, EmptyTouchValueMeansNow)
{
    EXPECT_EQ(parseCommandLine("/d /T").touchDateTime, "Now");
    EXPECT_EQ(parseCommandLine("/T  /d").touchDateTime, "Now");
    // The one dropped space is all: an unquoted value then runs to the next space.
    EXPECT_EQ(parseCommandLine("/T /d").touchDateTime, "/d");
    // "/T" followed by one space and then a value.
    EXPECT_EQ(parseCommandLine("/T 12:00").touchDateTime, "12:00");
}

struct JoinCase {
    const char* name;
    std::vector<std::string> args;
    const char* joined;
};

class JoinArgumentsTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinArgumentsTest, Joins)
{
    EXPECT_EQ(joinArguments(GetParam().args), GetParam().joined);
}

const JoinCase kJoinCases[] = {
    {"AttachedValueWithSpace", {"/Stwo words", "/P", "/src/*.c", "/d"},
     "/S\"two words\" /P /src/*.c /d"},
    {"SeparateValueWithSpace", {"/S", "two words"}, "/S \"two words\""},
    {"QuoteInside", {"/Ssay \"hi\""}, R"(/S"say \"hi\"")"},
    {"QuoteWithoutSpace", {"/R", "a\"b"}, R"(/R "a\"b")"},
    {"PlainArgumentsUntouched", {"/iw", "/Sabc"}, "/iw /Sabc"},
    {"FlagArgumentIsNotAValue", {"/dr", "x y"}, "/dr x y"},
    // A path glued to /P, /O, /B or /C is that switch, not the value of a bare switch.
    {"GluedPathIsASwitch", {"/R", "/P/src/*.c", "/S", "/o/tmp/x", "/T", "/B/bak"},
     "/R \"\" /P/src/*.c /S \"\" /o/tmp/x /T \"\" /B/bak"},
    {"OtherSlashValuesStayValues", {"/S", "/Pics/x", "/R", "/S/x"}, "/S /Pics/x /R /S/x"},
    {"Empty", {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, JoinArgumentsTest, ::testing::ValuesIn(kJoinCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(joinArguments, RoundTripsThroughParser)
{
    const CommandLineRequest r =
        parseCommandLine(joinArguments({"/Stwo words", "/P", "/src/*.c", "/d"}));
    EXPECT_EQ(r.searchText, "two words");
    EXPECT_EQ(r.path, "/src/*.c");
    EXPECT_TRUE(r.subdirectories);
    EXPECT_FALSE(r.caseInsensitive);

    const CommandLineRequest q = parseCommandLine(joinArguments(
        {"/S", "a \"quoted\" b", "/R", "new text", "/O/tmp/x y.txt", "/S", "", "/in"}));
    EXPECT_EQ(q.searchText, "");
    EXPECT_TRUE(q.searchTextGiven);
    EXPECT_EQ(q.replaceText, "new text");
    EXPECT_EQ(q.outputFile, "/tmp/x y.txt");
    EXPECT_TRUE(q.caseInsensitive);
    EXPECT_TRUE(q.noPrompts);

    EXPECT_EQ(parseCommandLine(joinArguments({"/S", "a \"quoted\" b"})).searchText,
              "a \"quoted\" b");
    // A backslash before a quote inside the value survives the trip.
    EXPECT_EQ(parseCommandLine(joinArguments({"/Sa\\\"b c"})).searchText, "a\\\"b c");
}

// A first start offers the directory the program was started in; a program started from
// the desktop runs in "/", where its home directory is the better start.
TEST(firstStartPath, CurrentDirectoryOrHomeInsteadOfTheRoot)
{
    EXPECT_EQ(firstStartPath("/work/src/", "/home/u"), "/work/src/");
    EXPECT_EQ(firstStartPath("/work/src", "/home/u"), "/work/src/");
    EXPECT_EQ(firstStartPath("/", "/home/u"), "/home/u/");
    EXPECT_EQ(firstStartPath("/", ""), "/");
    EXPECT_EQ(firstStartPath("", "/home/u/"), "/home/u/");
}

MainInputs savedInputs()
{
    MainInputs in;
    in.searchText = "saved search";
    in.replaceText = "saved replace";
    in.mask = "*.saved";
    in.path = "/saved/";
    in.caseSensitive = false;
    in.wholeWord = true;
    in.regularExpression = true;
    in.ignoreWhitespace = true;
    return in;
}

TEST(applyCommandLine, OnlySearchResetsEveryFlag)
{
    MainInputs in = savedInputs();
    ProgramOptions opt;
    opt.searchSubdirs = true;
    opt.outputFile = "/saved/out";
    applyCommandLine(parseCommandLine("/S\"abc\""), in, opt, "/cur/");
    EXPECT_EQ(in.searchText, "abc");
    EXPECT_TRUE(in.caseSensitive);
    EXPECT_FALSE(in.wholeWord);
    EXPECT_FALSE(in.regularExpression);
    EXPECT_FALSE(in.ignoreWhitespace);
    EXPECT_FALSE(opt.searchSubdirs);
    // Texts not given stay.
    EXPECT_EQ(in.replaceText, "saved replace");
    EXPECT_EQ(in.mask, "*.saved");
    EXPECT_EQ(in.path, "/saved/");
    EXPECT_EQ(opt.outputFile, "/saved/out");
    EXPECT_EQ(chosenCommand(parseCommandLine("/S\"abc\"")), CommandLineCommand::Search);
}

TEST(applyCommandLine, FlagsAndValues)
{
    MainInputs in = savedInputs();
    ProgramOptions opt;
    applyCommandLine(parseCommandLine("/idwxh /Rnew /P /src/*.c /O/tmp/o.txt /B/bak"), in, opt,
                     "/cur/");
    EXPECT_FALSE(in.caseSensitive);
    EXPECT_TRUE(in.wholeWord && in.regularExpression && in.ignoreWhitespace && opt.searchSubdirs);
    EXPECT_EQ(in.replaceText, "new");
    EXPECT_EQ(in.path, "/src/");
    EXPECT_EQ(in.mask, "*.c");
    EXPECT_EQ(opt.outputFile, "/tmp/o.txt");
    EXPECT_EQ(opt.backupPath, "/bak");
    EXPECT_EQ(opt.promptMode, 0);
}

TEST(applyCommandLine, MaskOnlyPathUsesCurrentDirectory)
{
    MainInputs in = savedInputs();
    ProgramOptions opt;
    applyCommandLine(parseCommandLine("/P *.txt"), in, opt, "/cur/");
    EXPECT_EQ(in.path, "/cur/");
    EXPECT_EQ(in.mask, "*.txt");
}

TEST(applyCommandLine, MissingRelativePathKeepsSavedPath)
{
    MainInputs in = savedInputs();
    ProgramOptions opt;
    applyCommandLine(parseCommandLine("/P no/such/dir/*.c"), in, opt, "/nonexistent-cur/");
    EXPECT_EQ(in.path, "/saved/");
    EXPECT_EQ(in.mask, "*.c");
}

// What a file manager passes for a folder: the desktop program takes it whole, keeping the
// window's masks; unmarked, the last name is a mask as before.
TEST(applyCommandLine, ExistingDirectoryMarkedAsPathKeepsTheMasks)
{
    test::TempDir dir;
    test::writeFile(dir.file("My Dir.v2/a.txt"), "x");
    const std::string folder = dir.path() + "My Dir.v2";
    struct Row {
        std::vector<std::string> args;
        std::string currentDir;
        std::string path, mask;
    };
    const std::vector<Row> rows = {
        {{"/P", folder}, "/", folder + "/", "*.saved"},
        {{"/P", folder + "/"}, "/", folder + "/", "*.saved"},
        {{"/P", "My Dir.v2"}, dir.path(), folder + "/", "*.saved"},
        {{"/P", folder + "/*.c"}, "/", folder + "/", "*.c"},   // no directory: path and mask
        {{"/P", folder + "x"}, "/", dir.path(), "My Dir.v2x"}, // missing: path and mask
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[1]);
        CommandLineRequest request = parseCommandLine(joinArguments(row.args));
        takeDirectoryAsPath(request, row.currentDir);
        MainInputs in = savedInputs();
        ProgramOptions opt;
        applyCommandLine(request, in, opt, row.currentDir);
        EXPECT_EQ(in.path, row.path);
        EXPECT_EQ(in.mask, row.mask);
    }
    // Unmarked (tarnwick-cli), a directory's name stays the mask.
    MainInputs in = savedInputs();
    ProgramOptions opt;
    applyCommandLine(parseCommandLine(joinArguments({"/P", folder})), in, opt, "/");
    EXPECT_EQ(in.path, dir.path());
    EXPECT_EQ(in.mask, "My Dir.v2");
}

TEST(applyCommandLine, NoPromptsOnlyForReplace)
{
    struct Row {
        const char* text;
        int promptMode;
        CommandLineCommand command;
    } rows[] = {
        {"/Sa /Rb /n", 2, CommandLineCommand::Replace},
        {"/Sa /dnr", 2, CommandLineCommand::Replace},
        {"/Sa /n", 1, CommandLineCommand::Search},
        {"/Sa /Rb", 1, CommandLineCommand::Replace},
        {"/T /Rb /n", 1, CommandLineCommand::Touch},
        {"/d", 1, CommandLineCommand::None},
    };
    for (const Row& row : rows) {
        MainInputs in;
        ProgramOptions opt;
        opt.promptMode = 1;
        const CommandLineRequest r = parseCommandLine(row.text);
        applyCommandLine(r, in, opt, "/cur/");
        EXPECT_EQ(opt.promptMode, row.promptMode) << row.text;
        EXPECT_EQ(chosenCommand(r), row.command) << row.text;
    }
}

TEST(applyCommandLine, ReplaceFlagWithoutTextKeepsSavedReplaceText)
{
    MainInputs in = savedInputs();
    ProgramOptions opt;
    applyCommandLine(parseCommandLine("/Sx /dr"), in, opt, "/cur/");
    EXPECT_EQ(in.replaceText, "saved replace");
}

TEST(checkInputs, Messages)
{
    const std::string badMask = "Please enter a valid mask!";
    const std::string badPath = "Please enter a valid path!";
    const std::string sameDir =
        "Please select a backup directory different than the one you want to process files in.";
    const std::string noBackup =
        "You must specify a backup directory when using the Write to Backup Dir Option.";
    struct Row {
        const char* mask;
        const char* path;
        const char* backup;
        bool writeToBackupDir;
        bool replaceMode;
        std::string expected; // empty: accepted
    } rows[] = {
        {"*.c", "/src/", "", false, false, ""},
        {"", "/src/", "", false, false, badMask},
        {"", "", "", false, false, badMask},
        {"*.c", "", "", false, false, badPath},
        {"*.c", "/src/", "/src", false, true, sameDir},
        {"*.c", "/src", "/src/", false, true, sameDir},
        {"*.c", "/src/", "/src/", false, false, ""},
        {"*.c", "/src/", "/SRC/", false, true, ""},
        {"*.c", "/src/", "/bak/", false, true, ""},
        {"*.c", "/", "", false, true, ""},
        {"*.c", "/src/", "", true, true, noBackup},
        {"*.c", "/src/", "", true, false, ""},
        {"*.c", "/src/", "/bak/", true, true, ""},
        {"*.c", "Use Script file: /src/", "/src/", false, true, ""},
    };
    for (const Row& row : rows) {
        MainInputs in;
        in.mask = row.mask;
        in.path = row.path;
        ProgramOptions opt;
        opt.backupPath = row.backup;
        opt.writeToBackupDir = row.writeToBackupDir;
        const auto msg = checkInputs(in, row.replaceMode, opt);
        EXPECT_EQ(msg.value_or(""), row.expected)
            << row.mask << "|" << row.path << "|" << row.backup << "|" << row.replaceMode;
    }
}

} // namespace
} // namespace tw
