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

// The output-file form of a line: the name marker removed, or else the hit markers
// replaced by the before/after texts (first occurrence of each).
std::string OutputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit);

} // namespace tw
