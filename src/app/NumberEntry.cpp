#include "app/NumberEntry.h"

#include <cstdint>

namespace tw {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::optional<int> parseIntegerEntry(std::string_view text, int low, int high, std::string* error)
{
    auto fail = [error](std::string message) -> std::optional<int> {
        if (error)
            *error = std::move(message);
        return std::nullopt;
    };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return fail("Please enter an integer.");
    // Digits past the limits only need to be counted as "too large", not kept exactly.
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fail("Please enter an integer.");
        if (value < (int64_t(1) << 40))
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value < low || value > high)
        return fail("Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".");
    return int(value);
}

} // namespace tw
