#pragma once
// "Ignore Whitespace": turns a literal search into a pattern in which every run of
// whitespace matches any non-empty run of whitespace.
#include <string>
#include <string_view>

namespace tw {

inline constexpr std::string_view kDefaultWhitespaceMask = " \\t\\r\\n";

// When the search text holds an unescaped character of the expanded mask, escapes the
// pattern specials of the search text, replaces each run of mask characters by
// "+[" mask "]" (the mask as stored, not expanded) and escapes the replace specials of the
// replace text so that it stays literal. Returns the number of runs replaced; 0 leaves both
// texts unchanged and the search literal.
int ConvertWhitespaceRuns(std::string& searchText, std::string& replaceText, std::string_view maskText);

} // namespace tw
