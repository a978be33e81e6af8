#include "core/HitLine.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>

namespace tw {
namespace {

std::string show(std::string s)
{
    for (size_t p; (p = s.find("\x01\x02")) != std::string::npos;)
        s.replace(p, 2, "[");
    for (size_t p; (p = s.find("\x01\x03")) != std::string::npos;)
        s.replace(p, 2, "]");
    return s;
}

struct Case {
    std::string block;
    size_t hitStart, hitLength;
    bool binary;
    long line;
    int64_t offset;
    int maxChars;
    std::string expected;
};

// The prefix is written by hand for speed; it must read exactly as the formatted print.
TEST(BuildHitLine, PrefixesReadAsTheirFormattedPrint)
{
    std::mt19937_64 rng(7);
    std::vector<int64_t> values = {0, 1, 9, 10, 99, 100, 999, 1000, 0xfffff, 0x1000000, INT64_MAX};
    for (int i = 0; i < 2000; ++i)
        values.push_back(static_cast<int64_t>(rng() >> (rng() % 63)));
    const uint8_t block[] = "xhitx";
    std::string line;
    for (const int64_t v : values) {
        for (const bool binary : {false, true}) {
            HitLineInput in{block, 5, 1, 3, binary, static_cast<long>(v), v, 512};
            buildHitLineInto(line, in, activeCharClasses(), nullptr);
            char expected[64];
            if (binary)
                std::snprintf(expected, sizeof expected, "Offset 0x%-6" PRIx64 " - ", static_cast<uint64_t>(v));
            else
                std::snprintf(expected, sizeof expected, "Line %3ld - ", static_cast<long>(v));
            ASSERT_EQ(line.substr(0, line.find('\x01')), std::string(expected) + "x") << v;
        }
    }
}

// Bytes are shown through the code page's table, 16 at a time where they are plain ASCII;
// every mix of bytes must come out as the table says, in both code pages.
TEST(BuildHitLine, ShowsEveryByteAsTheTableSays)
{
    std::mt19937 rng(3);
    for (const CodePageKind kind : {CodePageKind::Utf8, CodePageKind::Windows1252}) {
        const CharClasses cc = CharClasses::make(kind);
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> block(1 + rng() % 200);
            for (uint8_t& c : block) {
                c = static_cast<uint8_t>(rng() % 4 ? 0x20 + rng() % 0x5F : 1 + rng() % 255);
                if (c == '\r' || c == '\n')
                    c = 'x';
            }
            const size_t hit = rng() % block.size();
            const size_t len = 1 + rng() % (block.size() - hit);
            const HitLineInput in{block.data(), block.size(), hit, len, false, 1, 0, 512};
            std::string expected = "Line   1 - ";
            for (size_t p = 0; p < block.size(); ++p) {
                if (p == hit)
                    expected += "\x01\x02";
                expected += cc.shown[block[p]];
                if (p + 1 == hit + len)
                    expected += "\x01\x03";
            }
            ASSERT_EQ(BuildHitLine(in, cc), expected) << round;
        }
    }
}

TEST(BuildHitLine, ShowsTheLineAroundTheHit)
{
    const Case cases[] = {
        {"first\r\nthe word here\r\nlast", 11, 4, false, 7, 0, 512, "Line   7 - the [word] here"},
        {"abc", 0, 3, false, 1234, 0, 512, "Line 1234 - [abc]"},
        // A lone CR also starts the shown text; the nearer of CR and LF counts.
        {"x\nab\rcd hit\r\nz", 8, 3, false, 2, 0, 512, "Line   2 - cd [hit]"},
        {"x\rab\ncd hit", 8, 3, false, 2, 0, 512, "Line   2 - cd [hit]"},
        // The first byte of the block is never looked at by the walk back.
        {"\nab hit", 4, 3, false, 2, 0, 512, "Line   2 -  ab [hit]"},
        {"a\tb\tc\n", 2, 1, false, 1, 0, 512, "Line   1 - a [b] c"},
        // A hit that starts with a line end starts the shown text.
        {"one\r\ntwo", 3, 5, false, 2, 0, 512, "Line   2 - [  two]"},
        // A long line shows at most the limit before the hit (one byte less: the stop
        // position moves forward past where the walk ended) and at most the limit from it.
        {"0123456789hit0123456789", 10, 3, false, 1, 0, 4, "Line   1 - 789[hit]0"},
        // Binary: offset prefix, stops at non-displayable bytes.
        {std::string("\x00\x01" "ab" "\x02" "cd", 7), 2, 2, true, 0, 0x1234, 512, "Offset 0x1234   - [ab]"},
        {std::string("\xe9t\xe9\x7f", 4), 0, 3, false, 1, 0, 512, "Line   1 - [\xe9t\xe9] "},
    };
    for (const Case& c : cases) {
        HitLineInput in{reinterpret_cast<const uint8_t*>(c.block.data()), c.block.size(), c.hitStart, c.hitLength,
                        c.binary, c.line, c.offset, c.maxChars};
        EXPECT_EQ(show(BuildHitLine(in)), c.expected) << c.block;
    }
    // The text after the hit ends at the first CR or LF, or at the limit, wherever either
    // falls within or across the 16-byte steps of the scan.
    for (const char end : {'\r', '\n'}) {
        for (size_t d = 0; d < 40; ++d) {
            const std::string block = "hit" + std::string(d, 'x') + end + "yy\nzz";
            for (const int limit : {512, 20}) {
                HitLineInput in{reinterpret_cast<const uint8_t*>(block.data()), block.size(), 0, 3, false, 1, 0, limit};
                const size_t shown = std::min(d, static_cast<size_t>(limit) - 3);
                EXPECT_EQ(show(BuildHitLine(in)), "Line   1 - [hit]" + std::string(shown, 'x')) << d << ' ' << limit;
            }
        }
    }
}

TEST(looksBinary, LooksAtTheFirst1024BytesOnly)
{
    std::string text(2000, 'a');
    EXPECT_FALSE(looksBinary(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    text[1500] = '\0';
    EXPECT_FALSE(looksBinary(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    text[1000] = '\x08';
    EXPECT_TRUE(looksBinary(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    const std::string tabs = "a\tb\r\n\xc0\xff";
    EXPECT_FALSE(looksBinary(reinterpret_cast<const uint8_t*>(tabs.data()), tabs.size()));
}

} // namespace
} // namespace tw
