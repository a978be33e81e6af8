#pragma once
// The 256-row code table of the binary block editor: for every byte value the text that
// "Add Code" appends to a block (in the escape dialect of Escapes.h, so that the block
// expands back to that byte) and the row's name in the "Displayed As" column.
//
// Texts are 8-bit text of the code page the table was made for. In the UTF-8 code page the
// bytes 0x80 to 0xFF are not characters of one byte, so their rows show and insert the
// "\0x%02x" form; in Windows-1252 the alphanumeric ones from 0xC0 up are the character
// itself.
#include "engine/CharClasses.h"

#include <array>
#include <cstdint>
#include <string>

namespace tw {

struct CodeRow {
    std::string code;  // appended by Add Code; ExpandEscapes(code) is the row's byte
    std::string shown; // the "Displayed As" text
};

class CodeTable {
public:
    static constexpr size_t kRows = 256;

    explicit CodeTable(const CharClasses& classes = activeCharClasses());

    const CodeRow& row(uint8_t value) const { return m_rows[value]; }

private:
    std::array<CodeRow, kRows> m_rows; // row v describes the byte value v
};

} // namespace tw
