#pragma once
// Text forms of the persisted options: the 25-line options block kept in script files,
// the context-font string, and the short dates the block's date lines use. Plain C++ so
// that readers of script files need nothing beyond the standard library.
#include "core/ProgramOptions.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

inline constexpr const char* kDefaultContextFont = "-13,400,0,0,0,49,Courier,0,0";

// Parses "height,weight,italic,underline,strikeOut,pitchAndFamily,face,charSet,quality".
// Missing fields are zero; a height outside -500..0 becomes -13; the face name is cut
// to 31 characters.
FontDescription parseContextFont(const std::string& text);
std::string formatContextFont(const FontDescription& font);

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

// The 25 option lines, each "name=value" and CR LF, in their fixed order. Dates are
// written with `datePicture` when set and as an empty value otherwise.
std::string formatOptionsBlock(const ProgramOptions& options, std::string_view datePicture);

// Reads an options block starting at the beginning of `text`. Names are matched only at
// the current position, in the fixed order: a line that does not start with the expected
// name leaves that field as it was and is tried against the next name. Returns whether
// at least one line was taken; `endPosition` receives the position after the last line
// taken.
bool readOptionsBlock(std::string_view text, ProgramOptions& options,
                      std::string_view datePicture, size_t* endPosition = nullptr);

} // namespace tw
