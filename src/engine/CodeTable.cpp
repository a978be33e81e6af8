#include "engine/CodeTable.h"

#include <cstdio>
#include <string_view>

namespace tw {

namespace {

// The bytes written with a backslash and one character: exactly the letter escapes of the
// dialect, each with the character that ExpandEscapes pairs with it.
char escapeLetter(uint8_t v)
{
    switch (v) {
    case 0x07: return 'a';
    case 0x08: return 'b';
    case 0x09: return 't';
    case 0x0A: return 'n';
    case 0x0B: return 'v';
    case 0x0C: return 'f';
    case 0x0D: return 'r';
    case '"': return '"';
    case '\'': return '\'';
    case '?': return '?';
    case '\\': return '\\';
    default: return 0;
    }
}

std::string hexCode(uint8_t v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\0x%02x", static_cast<unsigned>(v));
    return buf;
}

// "%c - #%d": the byte itself, a dash and its decimal value.
std::string namedByte(std::string_view name, uint8_t v)
{
    return std::string(name) + " - #" + std::to_string(v);
}

CodeRow makeRow(uint8_t v, const CharClasses& classes)
{
    const std::string self(1, static_cast<char>(v));
    switch (v) {
    case 0x00: return {hexCode(v), "NULL - #0"};
    case 0x09: return {"\\t", namedByte("TAB", v)};
    case 0x0A: return {"\\n", namedByte("LF", v)};
    case 0x0D: return {"\\r", namedByte("CR", v)};
    case ' ': return {" ", namedByte("(space)", v)};
    default: break;
    }
    if (const char letter = escapeLetter(v))
        return {std::string{'\\', letter}, namedByte(self, v)};
    if (v < 0x20 || v == 0x7F)
        return {hexCode(v), namedByte(self, v)};
    if (v < 0x80)
        return {self, namedByte(self, v)};
    // 0x80 to 0xFF: one character only in a single-byte code page.
    if (classes.kind == CodePageKind::Utf8) {
        const std::string hex = hexCode(v);
        return {hex, namedByte(hex, v)};
    }
    // The alphanumeric test of the code page ('_' is below 0x80, so wordChar is it here).
    const bool alphanumeric = classes.wordChar[v];
    return {alphanumeric && v >= 0xC0 ? self : hexCode(v), namedByte(self, v)};
}

} // namespace

CodeTable::CodeTable(const CharClasses& classes)
{
    for (size_t v = 0; v < kRows; ++v)
        m_rows[v] = makeRow(static_cast<uint8_t>(v), classes);
}

} // namespace tw
