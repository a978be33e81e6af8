#pragma once
// The backslash escape dialect of binary blocks, pattern elements and the whitespace mask,
// and the small helpers that tell escaped characters from special ones.
#include <string>
#include <string_view>

namespace tw {

// Characters that are special in a search pattern and in a replace text. The backslash
// comes first so that escaping doubles existing backslashes before adding new ones.
inline constexpr std::string_view kSearchSpecials = "\\+*?[]()!|-$^";
inline constexpr std::string_view kReplaceSpecials = "\\%<>";

// Replaces escape sequences by the bytes they stand for: the letters a b f n r t v and
// ? ' " \ after a backslash, numbers (0x hexadecimal, leading 0 octal, otherwise decimal,
// at most four characters, low byte written), any other character stands for itself, and a
// trailing lone backslash is dropped. Never fails.
std::string ExpandEscapes(std::string_view text);

// Expands the one escape sequence that starts with the backslash at text[i]. Appends the
// bytes it produces to `out` and returns the number of characters consumed (backslash
// included). Used where a single escaped character is needed, such as a range end in a set.
size_t expandOneEscape(std::string_view text, size_t i, std::string& out);

// True when text[i] is preceded by an odd number of consecutive backslashes.
bool IsEscaped(std::string_view text, size_t i);

// Smallest position of a character of `set` that is not escaped, or -1.
long FindOneOfUnescaped(std::string_view text, std::string_view set);

// For each character of `chars`, in order, puts a backslash in front of every occurrence of
// it in `text`. Returns the number of backslashes inserted.
int EscapeSpecials(std::string& text, std::string_view chars);

// Doubles every backslash of a path so that it passes ExpandEscapes unchanged. Returns the
// number of backslashes found.
int doubleBackslashes(std::string& path);

} // namespace tw
