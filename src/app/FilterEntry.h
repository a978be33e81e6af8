#pragma once
// What the user types into the filter fields (and the Touch time field): sizes with an
// optional K or M suffix, and times read against the locale's time picture. The pictures
// and designators are parameters, so tests use fixed ones; the desktop program passes the
// locale's. Dates are read by parseShortDate (DateText.h).
#include "core/ProgramOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

inline constexpr const char* kInvalidFileSize = "Invalid file size!";

// A size: a signed decimal number, optionally followed by "K"/"k" (times 1024) or
// "M"/"m" (times 1048576); what follows the suffix is ignored ("10KB" is 10240). The
// product is kept in 32 bits, so up to 2047 megabytes. Empty text is 0 (no bound). On
// failure `error` receives kInvalidFileSize.
std::optional<int64_t> parseSize(std::string_view text, std::string* error = nullptr);

// Both size bounds together: a smallest size above a set largest size is refused.
bool sizeBoundsAgree(int64_t smallest, int64_t largest);

struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
};

// A time against a time picture: "H", "HH", "h", "hh" an hour (with a one-letter picture a
// "1" followed by "0", "1" or "2" is a two-digit hour), "m"/"mm" minutes, "s"/"ss"
// seconds, "t"/"tt" the AM or PM designator (PM adds 12 to an hour below 12); 'quoted'
// picture text is ignored; any other picture character must match. On failure `error`
// receives "Invalid hour", "Invalid minute" or "Invalid second" (the first field
// that is missing, unreadable or out of range).
std::optional<TimeOfDay> parseTime(std::string_view text, std::string_view picture, std::string_view am,
                                   std::string_view pm, std::string* error = nullptr);

// The four filter fields as the Filter page shows them: dates in the short-date picture,
// sizes as decimal numbers, and an empty text for a bound of 0.
struct FilterTexts {
    std::string beforeDate;  // minDate
    std::string afterDate;   // maxDate
    std::string lessThan;    // minSize
    std::string greaterThan; // maxSize
};
enum class FilterField { BeforeDate, AfterDate, LessThan, GreaterThan };
struct FilterProblem {
    FilterField field;
    std::string message;
};

FilterTexts formatFilterTexts(const ProgramOptions& options, std::string_view datePicture);

// Reads the four fields into `options`: the before-date at 00:00:00 of its day, the
// after-date at 23:59:59, an empty field as 0. A field whose text still equals the shown
// form of the stored value keeps that value, so a date shown with a two-digit year, or one
// not at the start or end of its day, survives unchanged. On the first field in error (in
// the order above, then a smallest size above the largest, blamed on "less than") nothing
// is changed and the problem is returned.
std::optional<FilterProblem> readFilterTexts(const FilterTexts& texts, std::string_view datePicture,
                                             ProgramOptions& options);

} // namespace tw
