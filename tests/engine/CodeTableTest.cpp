// The rows of the binary editor's code table in both code pages.
#include "engine/CodeTable.h"
#include "engine/Escapes.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct RowCase {
    int value;
    const char* code;
    const char* shown;
};

void expectRows(const CodeTable& table, const std::vector<RowCase>& cases)
{
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(table.row(static_cast<uint8_t>(c.value)).code, c.code);
        EXPECT_EQ(table.row(static_cast<uint8_t>(c.value)).shown, c.shown);
    }
}

// Rows below 0x80 are the same in every code page.
TEST(CodeTable, ControlAndAsciiRows)
{
    const std::vector<RowCase> cases = {
        {0, "\\0x00", "NULL - #0"},     {1, "\\0x01", "\x01 - #1"},     {7, "\\a", "\a - #7"},
        {8, "\\b", "\b - #8"},          {9, "\\t", "TAB - #9"},         {10, "\\n", "LF - #10"},
        {11, "\\v", "\v - #11"},        {12, "\\f", "\f - #12"},        {13, "\\r", "CR - #13"},
        {14, "\\0x0e", "\x0e - #14"},   {27, "\\0x1b", "\x1b - #27"},   {31, "\\0x1f", "\x1f - #31"},
        {32, " ", "(space) - #32"},     {33, "!", "! - #33"},           {34, "\\\"", "\" - #34"},
        {39, "\\'", "' - #39"},         {48, "0", "0 - #48"},           {63, "\\?", "? - #63"},
        {65, "A", "A - #65"},           {92, "\\\\", "\\ - #92"},       {126, "~", "~ - #126"},
        {127, "\\0x7f", "\x7f - #127"},
    };
    for (CodePageKind kind : {CodePageKind::Utf8, CodePageKind::Windows1252})
        expectRows(CodeTable(CharClasses::make(kind)), cases);
}

TEST(CodeTable, HighRowsByCodePage)
{
    // Windows-1252: alphanumeric bytes from 0xC0 up are themselves, the rest (and the
    // alphanumeric ones below 0xC0) are written in hexadecimal; every row shows its byte.
    expectRows(CodeTable(CharClasses::make(CodePageKind::Windows1252)),
               {{0x80, "\\0x80", "\x80 - #128"},
                {0x8A, "\\0x8a", "\x8a - #138"}, // alphanumeric below 0xC0
                {0xB5, "\\0xb5", "\xb5 - #181"},
                {0xC8, "\xc8", "\xc8 - #200"},
                {0xD7, "\\0xd7", "\xd7 - #215"}, // the multiplication sign
                {0xFF, "\xff", "\xff - #255"}});
    // UTF-8: no byte from 0x80 up is a character of its own.
    expectRows(CodeTable(CharClasses::make(CodePageKind::Utf8)),
               {{0x80, "\\0x80", "\\0x80 - #128"},
                {0xC8, "\\0xc8", "\\0xc8 - #200"},
                {0xFF, "\\0xff", "\\0xff - #255"}});
}

// Every row's code expands to its byte, alone and followed by any other row's code.
TEST(CodeTable, EveryCodeExpandsToItsByte)
{
    for (CodePageKind kind : {CodePageKind::Utf8, CodePageKind::Windows1252}) {
        const CodeTable table(CharClasses::make(kind));
        for (int v = 0; v < 256; ++v) {
            const std::string& code = table.row(static_cast<uint8_t>(v)).code;
            ASSERT_EQ(ExpandEscapes(code), std::string(1, static_cast<char>(v))) << v;
            for (int w = 0; w < 256; ++w) {
                const std::string expected{static_cast<char>(v), static_cast<char>(w)};
                ASSERT_EQ(ExpandEscapes(code + table.row(static_cast<uint8_t>(w)).code), expected) << v << ' ' << w;
            }
        }
    }
}

} // namespace
} // namespace tw
