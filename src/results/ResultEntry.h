#pragma once
// One line of the results list and the in-band markers that tell the kinds of lines apart.
#include <string>
#include <string_view>

namespace tw {

inline constexpr std::string_view kNameMarker = "\x01\x01"; // before the path of a file line; starts a summary line
inline constexpr std::string_view kHitBegin = "\x01\x02";   // the found text starts here
inline constexpr std::string_view kHitEnd = "\x01\x03";     // the found text ends here
inline constexpr std::string_view kFileLinePrefix = "Processing file : ";

struct ResultEntry {
    std::string text; // the line with its markers
    int hitLength = 0; // hit lines: length of the hit in the file; 0 for other lines
};

// A file name as it may appear in text: control bytes (below 0x20, and 0x7F) become "?",
// so a name cannot move the terminal's cursor, colour it or break the line markers. The
// exact path stays with the line where it is kept.
std::string DisplayName(std::string_view name);

// The output-file form of a line: the name marker removed, or else the hit markers
// replaced by the before/after texts (first occurrence of each).
std::string OutputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit);

} // namespace tw
