// Sizes and times as users type them into the filter and Touch fields.
#include "app/FilterEntry.h"
#include "app/OptionsBlock.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(FilterEntry, Sizes)
{
    const struct {
        const char* text;
        bool accepted;
        int64_t size;
    } cases[] = {
        {"", true, 0},       {"100", true, 100},   {"1k", true, 1024},    {"10KB", true, 10240},
        {"2M", true, 2097152}, {"2047M", true, 2047LL * 1048576},      {"2048M", false, 0},
        {"abc", false, 0},   {"K", false, 0},      {"12x", false, 0},     {"-5", true, -5},
        {"+7", true, 7},     {"99999999999999", false, 0},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto size = parseSize(c.text, &error);
        if (!c.accepted) {
            EXPECT_FALSE(size) << c.text;
            EXPECT_EQ(error, kInvalidFileSize) << c.text;
        } else {
            ASSERT_TRUE(size) << c.text;
            EXPECT_EQ(*size, c.size) << c.text;
        }
    }
    EXPECT_TRUE(sizeBoundsAgree(100, 0));
    EXPECT_TRUE(sizeBoundsAgree(100, 100));
    EXPECT_FALSE(sizeBoundsAgree(200, 100));
}

TEST(FilterEntry, Times)
{
    const struct {
        const char* text;
        const char* picture;
        const char* error; // empty: accepted as hour:minute:second below
        int h, m, s;
    } cases[] = {
        {"13:05:09", "HH:mm:ss", "", 13, 5, 9},
        {"1:05:09 PM", "h:mm:ss tt", "", 13, 5, 9},
        {"11:59:59 AM", "h:mm:ss tt", "", 11, 59, 59},
        {"12:00:00 PM", "h:mm:ss tt", "", 12, 0, 0},
        {"105", "hmm", "", 10, 5, 0},    // "10" is a two-digit hour after a one-letter picture
        {"905", "hmm", "", 9, 5, 0},
        {"24:00:00", "HH:mm:ss", "Invalid hour", 0, 0, 0},
        {"10:60:00", "HH:mm:ss", "Invalid minute", 0, 0, 0},
        {"10:00:61", "HH:mm:ss", "Invalid second", 0, 0, 0},
        {"10-30", "HH:mm", "Invalid minute", 0, 0, 0},
        {"", "HH:mm", "Invalid hour", 0, 0, 0},
        {"10 h 30", "HH' h 'mm", "Invalid minute", 0, 0, 0}, // quoted text is not read from the text
        {"1030", "HH' h 'mm", "", 10, 30, 0},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto t = parseTime(c.text, c.picture, "AM", "PM", &error);
        if (*c.error) {
            EXPECT_FALSE(t) << c.text;
            EXPECT_EQ(error, c.error) << c.text;
        } else {
            ASSERT_TRUE(t) << c.text << " " << error;
            EXPECT_EQ(t->hour * 10000 + t->minute * 100 + t->second, c.h * 10000 + c.m * 100 + c.s) << c.text;
        }
    }
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// A date shown with a two-digit year reads back into another century; an untouched field
// must keep the stored value instead of reading its own display back.
TEST(FilterEntry, UntouchedFieldsKeepTheirStoredValues)
{
    ProgramOptions o;
    o.minDate = 1; // not at the start of any day
    ASSERT_TRUE(parseShortDate("15/06/1950", "dd/MM/yyyy", true).has_value());
    o.maxDate = *parseShortDate("15/06/1950", "dd/MM/yyyy", true);
    o.maxSize = 4096;
    const FilterTexts shown = formatFilterTexts(o, "dd/MM/yy");
    EXPECT_EQ(shown.afterDate, "15/06/50");
    EXPECT_EQ(shown.lessThan, "");
    EXPECT_EQ(shown.greaterThan, "4096");

    ProgramOptions read = o;
    EXPECT_FALSE(readFilterTexts(shown, "dd/MM/yy", read));
    EXPECT_EQ(read.minDate, o.minDate);
    EXPECT_EQ(read.maxDate, o.maxDate);
    EXPECT_EQ(read.maxSize, 4096);

    // A field in error leaves every field as it was, even those read before it.
    FilterTexts edited = shown;
    edited.beforeDate = "";
    edited.greaterThan = "1x";
    const auto problem = readFilterTexts(edited, "dd/MM/yy", read);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, FilterField::GreaterThan);
    EXPECT_EQ(problem->message, kInvalidFileSize);
    EXPECT_EQ(read.minDate, o.minDate);
}

} // namespace
} // namespace tw
