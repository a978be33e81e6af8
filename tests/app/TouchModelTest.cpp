#include "app/TouchModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tw {
namespace {

// A local file time of a calendar day and time (no time-zone adjustment).
FileTime localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return (::timegm(&tm) + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond;
}

// The boxes' checks, in the order the fields are read, with the message each shows.
TEST(TouchModelTest, RejectsEachBoxWithItsMessage)
{
    struct Row {
        const char* date;
        const char* time;
        const char* seconds;
        std::optional<TouchField> field;
        const char* message;
    };
    const Row rows[] = {
        {"31/02/2001", "10:00:00", "0", TouchField::Date, "Invalid day"},
        {"01/13/2001", "10:00:00", "0", TouchField::Date, "Invalid month"},
        {"01/02/2001", "25:00:00", "0", TouchField::Time, "Invalid hour"},
        {"01/02/2001", "10:61:00", "0", TouchField::Time, "Invalid minute"},
        {"31/02/2001", "25:00:00", "12abc", TouchField::Date, "Invalid day"},
        {"01/02/2001", "10:00:00", "12abc", TouchField::AddSeconds, "Please enter an integer."},
        {"01/02/2001", "10:00:00", "", TouchField::AddSeconds, "Please enter an integer."},
        {"01/02/2001", "10:00:00", "-3600", std::nullopt, ""},
    };
    for (const Row& row : rows) {
        TouchModel model(TouchPictures(), localTime(2020, 1, 1, 0, 0, 0));
        model.fields().mode = TouchMode::AttributesOnly; // checked whatever the mode
        model.fields().dateText = row.date;
        model.fields().timeText = row.time;
        model.fields().addSecondsText = row.seconds;
        TouchRequest request;
        const std::optional<TouchProblem> problem = model.accept(&request);
        ASSERT_EQ(problem.has_value(), row.field.has_value()) << row.date << " " << row.time << " " << row.seconds;
        if (problem) {
            EXPECT_EQ(problem->field, *row.field) << row.date;
            EXPECT_EQ(problem->message, row.message) << row.date;
        } else {
            EXPECT_EQ(request.addSeconds, -3600);
            EXPECT_EQ(request.mode, TouchMode::AttributesOnly);
        }
    }
}

// The boxes show "now" in the pictures, and reading them back gives the same instant in
// UTC, whatever the time zone (summer time included).
TEST(TouchModelTest, NowRoundTripsThroughTheBoxes)
{
    const char* savedTz = std::getenv("TZ");
    const std::string saved = savedTz ? savedTz : "";
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        TouchPictures pictures;
        pictures.date = "d MMM yyyy";
        pictures.time = "h:mm:ss tt";
        const FileTime local = localTime(2021, 7, 4, 15, 5, 9);
        TouchModel model(pictures, local);
        EXPECT_EQ(model.fields().dateText, "4 Jul 2021");
        EXPECT_EQ(model.fields().timeText, "3:05:09 PM");
        TouchRequest request;
        ASSERT_FALSE(model.accept(&request));
        const time_t back = request.newTime / kFileTimeTicksPerSecond - kFileTimeEpochToUnixSeconds;
        std::tm tm {};
        localtime_r(&back, &tm);
        EXPECT_EQ(tm.tm_hour, 15) << zone;
        EXPECT_EQ(tm.tm_mday, 4) << zone;
        EXPECT_EQ(parseTouchDateTime("4 Jul 2021 3:05:09 PM", pictures), request.newTime) << zone;
        std::string error;
        EXPECT_FALSE(parseTouchDateTime("4 Jul 2021", pictures, &error));
        EXPECT_EQ(error, "Invalid hour");
    }
    if (savedTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

// Presets from the files' attributes; a file whose attributes are unknown never makes a
// box cleared or checked on its own.
TEST(TouchModelTest, PresetsAttributeBoxesFromTheFiles)
{
    using S = AttributeState;
    const std::optional<uint32_t> none = std::nullopt;
    struct Row {
        std::vector<std::optional<uint32_t>> files;
        S readOnly, hidden, archive;
    };
    const Row rows[] = {
        {{kAttrReadOnly, 0}, S::Keep, S::Clear, S::Clear},
        {{kAttrReadOnly | kAttrHidden, kAttrReadOnly}, S::Set, S::Keep, S::Clear},
        {{kAttrReadOnly, none}, S::Set, S::Keep, S::Keep},
        {{0, none}, S::Keep, S::Keep, S::Keep},
        {{none, none}, S::Keep, S::Keep, S::Keep},
    };
    for (const Row& row : rows) {
        TouchModel model(TouchPictures(), 0);
        model.presetAttributes(row.files);
        const TouchAttributes& a = model.fields().attributes;
        EXPECT_EQ(a.readOnly, row.readOnly);
        EXPECT_EQ(a.hidden, row.hidden);
        EXPECT_EQ(a.archive, row.archive);
    }
    TouchModel model(TouchPictures(), 0);
    model.attributeClicked();
    EXPECT_EQ(model.fields().mode, TouchMode::AttributesOnly);
    model.fields().mode = TouchMode::DateTimeAndAttributes;
    model.attributeClicked();
    EXPECT_EQ(model.fields().mode, TouchMode::DateTimeAndAttributes);
}

} // namespace
} // namespace tw
