#pragma once
// Short dates as the filter fields and the options block write them: read and written
// against the locale's short-date picture, with the month and weekday names set once at
// start-up. Plain C++.
#include "platform/FileSystem.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The month and weekday names of the "MMM"/"MMMM" and "ddd"/"dddd" pictures, full and
// abbreviated, January and Sunday first. English unless the desktop program sets the
// locale's names at start-up (before any run); never changed while a run is active.
struct DateNames {
    std::array<std::string, 12> months = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    std::array<std::string, 12> monthsShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 7> days = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    std::array<std::string, 7> daysShort = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
};
void setDateNames(const DateNames& names);
const DateNames& dateNames();

// Reads a date against a short-date picture (d, dd, M, MM, MMM, MMMM, y, yy, yyyy,
// ddd/dddd weekday names that are skipped, 'quoted' picture text ignored, any other
// picture character must match). Years below 200 get the current century. The result is
// the file time of 00:00:00 of that day, or of 23:59:59 with `endOfDay`, with no time-zone
// adjustment. On failure `error` (when given) receives "Invalid date", "Invalid month",
// "Invalid day" or "Invalid year".
std::optional<FileTime> parseShortDate(std::string_view text, std::string_view picture,
                                       bool endOfDay = false, std::string* error = nullptr);
// The calendar day of a file time, written with a short-date picture.
std::string formatShortDate(FileTime time, std::string_view picture);

} // namespace tw
