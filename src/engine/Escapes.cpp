#include "engine/Escapes.h"

namespace tw {

namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }
bool isDecimal(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c)
{
    return isDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c)
{
    if (isDecimal(c))
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// Reads a number that starts with a decimal digit at s[0]: "0x" hexadecimal, leading "0"
// octal, else decimal. A number is at most four characters long; the characters after them
// stay ordinary text. Returns the characters consumed, 0 when "0x" has no hex digit after it.
size_t readNumber(std::string_view s, unsigned* value)
{
    constexpr size_t kMaxChars = 4;
    const size_t limit = std::min(s.size(), kMaxChars);
    unsigned v = 0;
    size_t n = 0;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        n = 2;
        while (n < limit && isHex(s[n]))
            v = v * 16 + static_cast<unsigned>(hexValue(s[n++]));
        if (n == 2)
            return 0;
    } else if (s[0] == '0') {
        while (n < limit && isOctal(s[n]))
            v = v * 8 + static_cast<unsigned>(s[n++] - '0');
    } else {
        while (n < limit && isDecimal(s[n]))
            v = v * 10 + static_cast<unsigned>(s[n++] - '0');
    }
    *value = v;
    return n;
}

char tableEscape(char c, bool* found)
{
    *found = true;
    switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '?': return '?';
    case '\'': return '\'';
    case '"': return '"';
    case '\\': return '\\';
    default: break;
    }
    *found = false;
    return c;
}

} // namespace

size_t expandOneEscape(std::string_view text, size_t i, std::string& out)
{
    if (i + 1 >= text.size())
        return text.size() - i; // a trailing backslash is dropped
    const char c = text[i + 1];
    bool inTable = false;
    const char t = tableEscape(c, &inTable);
    if (inTable) {
        out.push_back(t);
        return 2;
    }
    if (isDecimal(c)) {
        unsigned value = 0;
        const size_t n = readNumber(text.substr(i + 1), &value);
        if (n > 0) {
            out.push_back(static_cast<char>(value & 0xFF));
            return 1 + n;
        }
    }
    out.push_back(c);
    return 2;
}

std::string ExpandEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t b = text.find('\\', i);
        if (b == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, b - i));
        i = b + expandOneEscape(text, b, out);
    }
    return out;
}

bool IsEscaped(std::string_view text, size_t i)
{
    if (i == 0 || i > text.size())
        return false;
    size_t n = 0;
    while (n < i && text[i - 1 - n] == '\\')
        ++n;
    return (n & 1) != 0;
}

long FindOneOfUnescaped(std::string_view text, std::string_view set)
{
    // One forward pass that tracks whether the current character is escaped.
    bool escaped = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!escaped && set.find(c) != std::string_view::npos)
            return static_cast<long>(i);
        escaped = (c == '\\') && !escaped;
    }
    return -1;
}

int EscapeSpecials(std::string& text, std::string_view chars)
{
    int inserted = 0;
    for (const char c : chars) {
        if (text.find(c) == std::string::npos)
            continue;
        std::string out;
        out.reserve(text.size() + 8);
        for (const char t : text) {
            if (t == c) {
                out.push_back('\\');
                ++inserted;
            }
            out.push_back(t);
        }
        text.swap(out);
    }
    return inserted;
}

int doubleBackslashes(std::string& path)
{
    int found = 0;
    for (const char c : path)
        found += c == '\\';
    if (found == 0)
        return 0;
    std::string out;
    out.reserve(path.size() + static_cast<size_t>(found));
    for (const char c : path) {
        out.push_back(c);
        if (c == '\\')
            out.push_back('\\');
    }
    path.swap(out);
    return found;
}

} // namespace tw
