#pragma once
// Character classes of the active 8-bit code page: the upper-case fold, the word-character
// test of "Whole Word" and the "displayable" test of hit lines. The tables are plain data
// chosen once at start-up (from the locale) or by a test; the engine only reads them.
#include <array>
#include <cstdint>

namespace tw {

enum class CodePageKind { Utf8, Windows1252 };

struct CharClasses {
    CodePageKind kind = CodePageKind::Utf8;
    std::array<uint8_t, 256> upper{};    // FoldUpper of each byte
    std::array<bool, 256> wordChar{};    // alphanumeric or '_'
    std::array<bool, 256> displayable{}; // shown as is in hit lines (tab excluded there)
    std::array<char, 256> shown{};       // how a byte appears in a hit line: itself, or a space
    bool doubleByte = false;             // double-byte guard; never on for the code pages built here

    static CharClasses make(CodePageKind kind);
};

// The classes every engine function consults. Set once before a run; not changed during it.
const CharClasses& activeCharClasses();
void setActiveCodePage(CodePageKind kind);

// The one upper-case fold of a byte used by every case-insensitive comparison.
inline uint8_t FoldUpper(uint8_t c) { return activeCharClasses().upper[c]; }

} // namespace tw
