#include "app/OptionsBlock.h"

#include "OptionsTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

constexpr const char* kBlockPicture = "dd/MM/yyyy";

TEST(OptionsBlock, WritesTheFixedLines)
{
    const std::string expected =
        "Search_subdir=1\r\nPrompt_flag=1\r\nOutput_File=/tmp/out put.txt\r\n"
        "String Color=65280\r\nShow_Files=0\r\nMax Items Saved=17\r\n"
        "File Color=4294967295\r\nBackup Path=/bak/\r\nNum Detail Entries=12\r\n"
        "Default Viewer=/usr/bin/less\r\nBefore Hit=[[\r\nAfter Hit=]]\r\n"
        "Max Reg Expr=4000\r\nWrite to Backup Dir=1\r\nUnzip Dir=/var/tmp/unz/\r\n"
        "Show Files Without Hits=1\r\nDisplay Replace String=1\r\nDisplay File Stats=0\r\n"
        "Min Size Filter=1024\r\nMax Size Filter=5000000000\r\n"
        "Min Date Filter=01/03/2001\r\nMax Date Filter=31/03/2001\r\n"
        "Keep file time stamp=1\r\nOne hit=1\r\nCache File List=0\r\n";
    EXPECT_EQ(formatOptionsBlock(changedOptions(), kBlockPicture), expected);
}

TEST(OptionsBlock, NoDateFilterIsAnEmptyValue)
{
    const std::string text = formatOptionsBlock(ProgramOptions(), kBlockPicture);
    EXPECT_NE(text.find("\r\nMin Date Filter=\r\nMax Date Filter=\r\n"), std::string::npos);
}

TEST(OptionsBlock, RoundTrip)
{
    const ProgramOptions written = changedOptions();
    const std::string text = formatOptionsBlock(written, kBlockPicture) + "[Search]\r\n";
    ProgramOptions read;
    size_t end = 0;
    ASSERT_TRUE(readOptionsBlock(text, read, kBlockPicture, &end));
    expectSameOptions(read, written);
    EXPECT_EQ(text.substr(end), "[Search]\r\n");
}

// Builds a block from the changed record, then drops or moves lines.
std::string lines(const std::string& block, std::vector<int> order)
{
    std::vector<std::string> all;
    for (size_t pos = 0; pos < block.size();) {
        const size_t end = block.find("\r\n", pos) + 2;
        all.push_back(block.substr(pos, end - pos));
        pos = end;
    }
    std::string out;
    for (int i : order)
        out += all[size_t(i)];
    return out;
}

TEST(OptionsBlock, MissingLineKeepsThatFieldOnly)
{
    const std::string block = formatOptionsBlock(changedOptions(), kBlockPicture);
    std::vector<int> order;
    for (int i = 0; i < 25; ++i)
        if (i != 4) // "Show_Files"
            order.push_back(i);
    ProgramOptions read;
    ASSERT_TRUE(readOptionsBlock(lines(block, order), read, kBlockPicture));
    ProgramOptions expected = changedOptions();
    expected.showFirstHitLine = ProgramOptions().showFirstHitLine;
    expectSameOptions(read, expected);
}

TEST(OptionsBlock, ReorderedLinesStopLaterNames)
{
    const std::string block = formatOptionsBlock(changedOptions(), kBlockPicture);
    // "String Color" before "Output_File": Output_File is taken as missing, String Color
    // is read, and then the position sits on "Output_File", which no later name matches.
    std::vector<int> order = {0, 1, 3, 2};
    for (int i = 4; i < 25; ++i)
        order.push_back(i);
    ProgramOptions read;
    size_t end = 0;
    const std::string text = lines(block, order);
    ASSERT_TRUE(readOptionsBlock(text, read, kBlockPicture, &end));
    ProgramOptions expected;
    expected.searchSubdirs = true;
    expected.promptMode = 1;
    expected.stringColor = 65280;
    expectSameOptions(read, expected);
    EXPECT_EQ(text.compare(end, 12, "Output_File="), 0);
}

TEST(OptionsBlock, EmptyMinDateLineStillReadsTheRest)
{
    ProgramOptions written = changedOptions();
    written.minDate = 0;
    ProgramOptions read;
    read.minDate = kMarch1st2001; // an empty value clears the filter
    ASSERT_TRUE(readOptionsBlock(formatOptionsBlock(written, kBlockPicture), read, kBlockPicture));
    expectSameOptions(read, written);
}

TEST(OptionsBlock, UnreadableDateKeepsField)
{
    std::string text = "Min Date Filter=31/04/2001\r\nMax Date Filter=0\r\nOne hit=1\r\n";
    ProgramOptions read;
    read.minDate = 42;
    read.maxDate = 43;
    ASSERT_TRUE(readOptionsBlock(text, read, kBlockPicture));
    EXPECT_EQ(read.minDate, 42);
    EXPECT_EQ(read.maxDate, 0);
    EXPECT_TRUE(read.stopAfterFirstHit);
}

TEST(OptionsBlock, NamesMatchInEitherCaseAndLineFeedsAlone)
{
    ProgramOptions read;
    ASSERT_TRUE(readOptionsBlock("SEARCH_SUBDIR=1\nbefore hit=<<\nAfter Hit=>>\n", read, kBlockPicture));
    EXPECT_TRUE(read.searchSubdirs);
    EXPECT_EQ(read.beforeHit, "<<");
    EXPECT_EQ(read.afterHit, ">>");
}

TEST(OptionsBlock, NoMatchingLine)
{
    ProgramOptions read;
    size_t end = 99;
    EXPECT_FALSE(readOptionsBlock("[Search]\r\nfoo\r\n", read, kBlockPicture, &end));
    EXPECT_EQ(end, 0u);
    expectSameOptions(read, ProgramOptions());
}

// Values out of an option's bounds are refused as the settings store refuses them: a number
// keeps the value the record has, a size below zero is no bound.
TEST(OptionsBlock, OutOfBoundsValuesAndTrailingText)
{
    ProgramOptions read;
    read.promptMode = 1;
    read.maxItemsSaved = 20;
    read.contextLines = 7;
    read.maxRegexSize = 500;
    ASSERT_TRUE(readOptionsBlock("Prompt_flag=7\r\nMax Items Saved=51\r\nNum Detail Entries=4\r\n"
                                 "Max Reg Expr=99999999999\r\nMin Size Filter=-5\r\nMax Size Filter=77 bytes\r\n"
                                 "One hit=1\r\n",
                                 read, kBlockPicture));
    EXPECT_EQ(read.promptMode, 1);
    EXPECT_EQ(read.maxItemsSaved, 20);
    EXPECT_EQ(read.contextLines, 7);
    EXPECT_EQ(read.maxRegexSize, 500);
    EXPECT_EQ(read.minSize, 0);
    EXPECT_EQ(read.maxSize, 77);
    EXPECT_TRUE(read.stopAfterFirstHit);
    ASSERT_TRUE(readOptionsBlock("Prompt_flag=2\r\nMax Items Saved=50\r\nNum Detail Entries=5\r\n", read, kBlockPicture));
    EXPECT_EQ(read.promptMode, 2);
    EXPECT_EQ(read.maxItemsSaved, 50);
    EXPECT_EQ(read.contextLines, 5);
}

struct DateCase {
    const char* text;
    const char* picture;
    const char* error; // empty: accepted
    int year, month, day;
};

TEST(ShortDate, ParseTable)
{
    const DateCase cases[] = {
        {"29/02/2000", "dd/MM/yyyy", "", 2000, 2, 29},
        {"1/3/2001", "d/M/yyyy", "", 2001, 3, 1},
        {"29/02/1900", "dd/MM/yyyy", "Invalid day", 0, 0, 0},
        {"31/04/2001", "dd/MM/yyyy", "Invalid day", 0, 0, 0},
        {"30/02/2004", "dd/MM/yyyy", "Invalid day", 0, 0, 0},
        {"00/01/2001", "dd/MM/yyyy", "Invalid day", 0, 0, 0},
        {"13/13/2001", "dd/MM/yyyy", "Invalid month", 0, 0, 0},
        {"01/01/1600", "dd/MM/yyyy", "Invalid year", 0, 0, 0},
        {"abc", "dd/MM/yyyy", "Invalid date", 0, 0, 0},
        {"01-02-2003", "dd/MM/yyyy", "Invalid date", 0, 0, 0},
        {"2003-02-01", "yyyy-MM-dd", "", 2003, 2, 1},
        {"Mon, 3 March 2003", "ddd, d MMMM yyyy", "", 2003, 3, 3},
        {"3 mar 2003", "d MMM yyyy", "", 2003, 3, 3},
        {"3.2003 day 5", "M.yyyy 'day' d", "", 2003, 3, 5},
        {"3.2003  5", "M.yyyy 'day' d", "", 2003, 3, 5},
    };
    for (const DateCase& c : cases) {
        std::string error;
        const auto t = parseShortDate(c.text, c.picture, false, &error);
        if (*c.error) {
            EXPECT_FALSE(t.has_value()) << c.text;
            EXPECT_EQ(error, c.error) << c.text;
            continue;
        }
        ASSERT_TRUE(t.has_value()) << c.text << " " << error;
        char iso[16];
        std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", c.year, c.month, c.day);
        EXPECT_EQ(formatShortDate(*t, "yyyy-MM-dd"), iso) << c.text;
        EXPECT_EQ(*t % 864000000000LL, 0) << c.text;
    }
}

TEST(ShortDate, FileTimes)
{
    EXPECT_EQ(parseShortDate("01/01/1601", kBlockPicture), 0);
    EXPECT_EQ(parseShortDate("01/01/1970", kBlockPicture), 116444736000000000LL);
    EXPECT_EQ(parseShortDate("01/03/2001", kBlockPicture), kMarch1st2001);
    EXPECT_EQ(parseShortDate("31/03/2001", kBlockPicture, true), kMarch31st2001EndOfDay);
    EXPECT_EQ(formatShortDate(kMarch31st2001EndOfDay, kBlockPicture), "31/03/2001");
    EXPECT_EQ(formatShortDate(kMarch1st2001, "dddd d MMM yy"), "Thursday 1 Mar 01");
}

// The locale's names replace the English ones for both reading and writing.
TEST(ShortDate, LocaleNames)
{
    const DateNames english = dateNames();
    DateNames german;
    german.months[2] = "M\xC3\xA4rz";
    german.monthsShort[2] = "M\xC3\xA4r";
    german.days[4] = "Donnerstag";
    german.daysShort[4] = "Do";
    setDateNames(german);
    EXPECT_EQ(formatShortDate(kMarch1st2001, "dddd, d. MMMM yyyy"), "Donnerstag, 1. M\xC3\xA4rz 2001");
    EXPECT_EQ(parseShortDate("Do, 1. M\xC3\xA4r 2001", "ddd, d. MMM yyyy"), kMarch1st2001);
    EXPECT_FALSE(parseShortDate("1. March 2001", "d. MMMM yyyy"));
    setDateNames(english);
    EXPECT_EQ(parseShortDate("1. March 2001", "d. MMMM yyyy"), kMarch1st2001);
}

TEST(ShortDate, TwoDigitYearGetsCurrentCentury)
{
    const auto t = parseShortDate("05/06/07", "dd/MM/yy");
    ASSERT_TRUE(t.has_value());
    const std::string formatted = formatShortDate(*t, "yyyy-MM-dd");
    EXPECT_EQ(formatted.substr(2), "07-06-05");
    EXPECT_GE(formatted.substr(0, 2), "20");
}

struct FontCase {
    const char* text;
    FontDescription expected;
};

FontDescription font(int h, int w, int i, int u, int s, int pf, const char* face, int cs, int q)
{
    FontDescription f;
    f.height = h;
    f.weight = w;
    f.italic = i;
    f.underline = u;
    f.strikeOut = s;
    f.pitchAndFamily = pf;
    f.faceName = face;
    f.charSet = cs;
    f.quality = q;
    return f;
}

TEST(ContextFont, ParseTable)
{
    const FontCase cases[] = {
        {"-20,700,1,0,0,34,Arial", font(-20, 700, 1, 0, 0, 34, "Arial", 0, 0)},
        {"-600,400,0,0,0,49,Courier,0,0", font(-13, 400, 0, 0, 0, 49, "Courier", 0, 0)},
        {"5,400,0,0,0,49,Courier,0,0", font(-13, 400, 0, 0, 0, 49, "Courier", 0, 0)},
        {"-500,400,0,0,0,49,Courier,0,0", font(-500, 400, 0, 0, 0, 49, "Courier", 0, 0)},
        {"", font(-13, 400, 0, 0, 0, 49, "Courier", 0, 0)},
        {"-13,400,0,0,0,49,Courier,5", font(-13, 400, 0, 0, 0, 49, "Courier", 0, 5)},
        {"-13,400,0,1,1,49,Mono,2,3", font(-13, 400, 0, 1, 1, 49, "Mono", 2, 3)},
        // Fields after the height are taken only while commas remain.
        {"-13,400", font(-13, 0, 0, 0, 0, 0, "400", 0, 0)},
        {"-13", font(-13, 0, 0, 0, 0, 0, "", 0, 0)},
        {"-13,400,0,0,0,49,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,1,2",
         font(-13, 400, 0, 0, 0, 49, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", 1, 2)},
    };
    for (const FontCase& c : cases) {
        SCOPED_TRACE(c.text);
        expectSameFont(parseContextFont(c.text), c.expected);
    }
}

TEST(ContextFont, FaceCutKeepsWholeCharacters)
{
    // 30 ASCII letters, then a two-byte character that would straddle the 31-byte limit.
    const std::string face = std::string(30, 'a') + "\xC3\xA9" + "b";
    EXPECT_EQ(parseContextFont("-13,400,0,0,0,49," + face + ",0,0").faceName, std::string(30, 'a'));
}

TEST(ContextFont, FormatReadsBack)
{
    const FontDescription f = font(-20, 700, 1, 0, 1, 34, "DejaVu Sans", 2, 5);
    EXPECT_EQ(formatContextFont(f), "-20,700,1,0,1,34,DejaVu Sans,2,5");
    expectSameFont(parseContextFont(formatContextFont(f)), f);
}

// A script's options go through its file and come back whole; its subdirectory state is
// what "Search_subdir" carries, written from the state unless that defers to the window.
TEST(OptionsBlock, ScriptRoundTrip)
{
    const ScriptOptionsCodec codec = scriptOptionsCodec(kBlockPicture);
    for (ScriptSubdirs state : {ScriptSubdirs::No, ScriptSubdirs::Yes, ScriptSubdirs::FromWindow}) {
        Script written;
        written.options = changedOptions();
        written.subdirectories = state;
        written.paths.push_back({"/src/", "*.c"});
        ScriptReadContext context;
        context.codec = codec;
        Script read;
        ASSERT_TRUE(readScriptBytes(read, formatScript(written, codec), "/s.tws", context).read);
        ASSERT_TRUE(read.options);
        ProgramOptions expected = changedOptions();
        if (state != ScriptSubdirs::FromWindow)
            expected.searchSubdirs = state == ScriptSubdirs::Yes;
        expectSameOptions(*read.options, expected);
        EXPECT_EQ(read.subdirectories, expected.searchSubdirs ? ScriptSubdirs::Yes : ScriptSubdirs::No);
        ASSERT_EQ(read.paths.size(), 1u);
        EXPECT_EQ(read.paths[0].mask, "*.c");
    }
}

} // namespace
} // namespace tw
