#pragma once
// Small UTF-8 helpers for cutting texts to a length without splitting a character.
#include <cstddef>
#include <string>

namespace tw {

// A byte that continues a UTF-8 character (10xxxxxx).
inline bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts a UTF-8 text to at most `maxBytes` without splitting a character.
inline std::string cutUtf8(std::string s, size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    size_t n = maxBytes;
    while (n > 0 && isUtf8Continuation(s[n]))
        --n;
    s.resize(n);
    return s;
}

} // namespace tw
