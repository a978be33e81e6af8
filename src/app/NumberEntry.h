#pragma once
// What the user types into a number box of the Options sheet: a whole number within the
// box's limits, or the message to show.
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Reads `text` as a signed decimal integer (blanks around it allowed) between `low` and
// `high`, both included. On failure `error` receives "Please enter an integer." when the
// text is no whole number, or "Please enter an integer between <low> and <high>." when it
// lies outside the limits.
std::optional<int> parseIntegerEntry(std::string_view text, int low, int high, std::string* error = nullptr);

} // namespace tw
