#include "engine/CharClasses.h"

namespace tw {

namespace {

// Windows-1252 upper case for the bytes from 0x80 up that have a case pair in the code page.
uint8_t upper1252(uint8_t c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<uint8_t>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A; // s caron
    case 0x9C: return 0x8C; // oe
    case 0x9E: return 0x8E; // z caron
    case 0xFF: return 0x9F; // y diaeresis
    default: break;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<uint8_t>(c - 0x20);
    return c;
}

bool alnum1252(uint8_t c)
{
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    switch (c) {
    case 0x83: case 0x8A: case 0x8C: case 0x8E: case 0x9A: case 0x9C: case 0x9E: case 0x9F:
    case 0xAA: case 0xB5: case 0xBA:
        return true;
    default: break;
    }
    return c >= 0xC0 && c != 0xD7 && c != 0xF7;
}

CharClasses g_active = CharClasses::make(CodePageKind::Utf8);

} // namespace

CharClasses CharClasses::make(CodePageKind kind)
{
    CharClasses cc;
    cc.kind = kind;
    for (int i = 0; i < 256; ++i) {
        const auto c = static_cast<uint8_t>(i);
        const bool ascii = c < 0x80;
        if (kind == CodePageKind::Utf8) {
            cc.upper[i] = (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 0x20) : c;
            // Bytes of multi-byte characters count as word characters and pass whole into
            // hit lines.
            cc.wordChar[i] = !ascii || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                             (c >= 'a' && c <= 'z');
            cc.displayable[i] = c == 0x09 || (c >= 0x20 && c <= 0x7E) || !ascii;
        } else {
            cc.upper[i] = upper1252(c);
            cc.wordChar[i] = c == '_' || alnum1252(c);
            cc.displayable[i] = c == 0x09 || (c >= 0x20 && c <= 0x7E) || c >= 0xA1;
        }
    }
    for (int i = 0; i < 256; ++i)
        cc.shown[i] = (i != 0x09 && cc.displayable[i]) ? static_cast<char>(i) : ' ';
    return cc;
}

const CharClasses& activeCharClasses() { return g_active; }

void setActiveCodePage(CodePageKind kind) { g_active = CharClasses::make(kind); }

} // namespace tw
