// The JSON Lines form of results lines: every byte string must come out as valid JSON that
// gives the same bytes back, and the messages must keep the shape readers expect whatever
// order the lines come in.
#include "JsonReader.h"
#include "results/JsonResultsView.h"
#include "results/JsonText.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

using test::Json;
using test::JsonReader;

// Well-formed UTF-8 by decoding each sequence by its lead byte and encoding the code point
// again: the bytes must come back the same and the value be no surrogate nor beyond U+10FFFF.
bool referenceUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        uint32_t cp = len == 1 ? c : c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        const size_t shortest = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (shortest != len || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

TEST(JsonText, AnyBytesComeBackFromStrictJson)
{
    // Pieces that are tricky on their own or next to each other: escapes, controls, valid
    // sequences, overlong forms, surrogates, values past U+10FFFF, cut sequences.
    const std::vector<std::string> pieces = {
        "a", "\"", "\\", "\n", "\r", "\t", std::string(1, '\0'), "\x01", "\x1f", "\x7f", "/",
        "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf", "\xc0\xaf", "\xc1\xbf",
        "\xe0\x80\xaf", "\xed\xa0\x80", "\xf0\x80\x80\xaf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80",
        "\xff", "\x80", "\xc3", "\xe2\x82", "\xef\xbf\xbd"};
    std::mt19937 rng(20261210);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int n = static_cast<int>(rng() % 7);
        for (int i = 0; i < n; ++i)
            bytes += pieces[rng() % pieces.size()];
        SCOPED_TRACE(testing::PrintToString(bytes));
        ASSERT_EQ(isValidUtf8(bytes), referenceUtf8(bytes));
        std::string out;
        appendJsonData(out, bytes);
        const std::optional<Json> parsed = JsonReader::parse(out);
        ASSERT_TRUE(parsed) << out;
        EXPECT_EQ(parsed->get("text") != nullptr, referenceUtf8(bytes)) << out;
        EXPECT_EQ(test::jsonBytes(&*parsed), bytes) << out;
    }
}

ResultEntry hitLine(const std::string& text, const std::string& path, long line, int64_t offset, int column)
{
    ResultEntry e{text, 0};
    e.kind = LineKind::Hit;
    e.path = path;
    e.lineNumber = line;
    e.fileOffset = offset;
    e.hitColumn = column;
    return e;
}

TEST(JsonResultsView, LinesBecomeMessagesInOrderAndTheRestGoesAside)
{
    std::vector<Json> messages;
    std::vector<std::string> aside;
    JsonResultsView view(
        [&](std::string_view line) {
            EXPECT_EQ(line.back(), '\n');
            const auto parsed = JsonReader::parse(line.substr(0, line.size() - 1));
            EXPECT_TRUE(parsed) << line;
            messages.push_back(parsed.value_or(Json{}));
            return true;
        },
        [&](std::string_view text) { aside.emplace_back(text); });
    view.appendLine(ResultEntry::fileLine("/d/a.txt"));
    view.appendLine(hitLine("Line  12 - ab\x01\x02" "cd\x01\x03" "ef", "/d/a.txt", 12, 100, 2));
    view.appendLine(ResultEntry::replaceText("XY", "/d/a.txt"));
    // A hit that runs past what is shown has no end marker.
    view.appendLine(hitLine("Line  13 - \x01\x02gh", "/d/a.txt", 13, 110, 0));
    view.appendLine(ResultEntry::count("Found 2 occurrences.", "/d/a.txt"));
    // A member's hit, in a binary file, without its file line ahead of it.
    ResultEntry member = hitLine("Offset 0x20     - \x01\x02z\x01\x03", "m/b.bin", 0, 0x20, 0);
    member.archivePath = "/d/x.zip";
    member.binary = true;
    view.appendLine(member);
    view.appendLine(ResultEntry::error("Error reading file /d/c.txt", "/d/c.txt"));
    view.appendLine(ResultEntry::summary("Searched 3 file(s)"));
    JsonRunTotals totals;
    totals.searches = 3;
    totals.matches = 3;
    view.finish(totals);

    std::vector<std::string> types;
    for (const Json& m : messages)
        types.push_back(m.get("type") ? m.get("type")->text : "?");
    ASSERT_EQ(types, (std::vector<std::string>{"begin", "match", "match", "end", "begin", "match", "end", "summary"}));
    const Json& first = *messages[1].get("data");
    EXPECT_EQ(test::jsonBytes(first.get("lines")), "abcdef");
    EXPECT_EQ(first.get("absolute_offset")->integer(), 98);
    EXPECT_EQ(first.get("line_number")->integer(), 12);
    const Json& sub = first.get("submatches")->items.at(0);
    EXPECT_EQ(test::jsonBytes(sub.get("match")), "cd");
    EXPECT_EQ(sub.get("start")->integer(), 2);
    EXPECT_EQ(sub.get("end")->integer(), 4);
    EXPECT_EQ(test::jsonBytes(sub.get("replacement")), "XY");
    const Json& second = messages[2].get("data")->get("submatches")->items.at(0);
    EXPECT_EQ(test::jsonBytes(second.get("match")), "gh");
    EXPECT_EQ(second.get("replacement"), nullptr);
    EXPECT_EQ(messages[3].get("data")->get("stats")->get("matches")->integer(), 2);
    const Json& inMember = *messages[5].get("data");
    EXPECT_EQ(test::jsonBytes(inMember.get("path")), "/d/x.zip");
    EXPECT_EQ(test::jsonBytes(inMember.get("member")), "m/b.bin");
    EXPECT_EQ(inMember.get("line_number")->type, Json::Type::Null);
    EXPECT_EQ(inMember.get("absolute_offset")->integer(), 0x20);
    EXPECT_EQ(messages[7].get("data")->get("stats")->get("matched_lines")->integer(), 3);
    EXPECT_EQ(aside, (std::vector<std::string>{"Found 2 occurrences.", "Error reading file /d/c.txt", "Searched 3 file(s)"}));
}

TEST(JsonResultsView, NothingMoreIsOfferedAfterAFailedWrite)
{
    int offered = 0;
    JsonResultsView view([&](std::string_view) { return ++offered > 1 ? false : true; }, [](std::string_view) {});
    for (int i = 0; i < 5; ++i)
        view.appendLine(ResultEntry::fileLine("/d/f" + std::to_string(i)));
    view.finish({});
    EXPECT_EQ(offered, 2);
    EXPECT_TRUE(view.failed());
}

} // namespace
} // namespace tw
