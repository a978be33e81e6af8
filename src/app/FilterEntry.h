#pragma once
// What the user types into the filter fields (and the Touch time field): sizes with an
// optional K or M suffix, and times read against the locale's time picture. The pictures
// and designators are parameters, so tests use fixed ones; the desktop program passes the
// locale's. Dates are read by parseShortDate (OptionsBlock.h).
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

} // namespace tw
