#pragma once
// Small readers shared by the parsers of dates and times written against a locale's
// picture ("dd/MM/yyyy", "HH:mm:ss").
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tw {

// `text` starts with `prefix`, ASCII letters compared without regard to case (an empty
// prefix always matches).
bool startsWithNoCase(std::string_view text, std::string_view prefix);

// Reads up to `maxDigits` decimal digits at `*pos`; false when there is none.
bool readNumber(std::string_view text, size_t* pos, size_t maxDigits, int64_t* out);

// How many times picture[p] repeats from p on ("yyyy" at 0: 4).
size_t runLength(std::string_view picture, size_t p);

} // namespace tw
