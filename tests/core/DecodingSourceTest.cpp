// What the scan reads of an input with or without a byte-order mark, read in pieces of
// every size down to one byte (as the scanner's refills are), against the whole input
// decoded in one pass.
#include "core/DecodingSource.h"

#include "Utf16Reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tw {
namespace {

// Gives its bytes as a file does, in full pieces until the end; -1 for a read that would
// go past `failAt`.
class EncodedStringSource final : public ByteSource {
public:
    explicit EncodedStringSource(std::string s, size_t failAt = std::string::npos) : m_data(std::move(s)), m_failAt(failAt) {}
    int64_t read(void* buffer, size_t count) override
    {
        const size_t n = std::min(count, m_data.size() - m_pos);
        if (m_pos + n > m_failAt)
            return -1;
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return static_cast<int64_t>(n);
    }

private:
    std::string m_data;
    size_t m_failAt;
    size_t m_pos = 0;
};

std::string randomUnits(std::mt19937& rng, Utf16Order order)
{
    static const uint16_t units[] = {'a', '\r', '\n', 0x00E9, 0x20AC, 0xFFFD, 0xD83D, 0xDE00, 0xD800, 0xDC00, 0x0000};
    std::string s;
    for (size_t n = rng() % 300; n > 0; --n) {
        const size_t k = rng() % 16;
        if (k < std::size(units))
            test::put(s, units[k], order);
        else
            test::put(s, static_cast<uint16_t>(rng() % 0x80), order); // ASCII runs
    }
    if (rng() % 4 == 0)
        s.push_back('\x7F'); // odd length
    return s;
}

// Reads everything in random pieces; small pieces put characters across reads.
std::string readAll(DecodingSource& src, std::mt19937& rng, size_t maxPiece)
{
    std::string out;
    std::vector<uint8_t> buf(maxPiece);
    for (;;) {
        const size_t want = 1 + rng() % maxPiece;
        const int64_t got = src.read(buf.data(), want);
        EXPECT_GE(got, 0);
        if (got <= 0)
            break;
        out.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(got));
        if (static_cast<size_t>(got) < want)
            break; // fewer bytes only at the end
    }
    return out;
}

TEST(DecodingSource, Utf16ReadInAnyPiecesIsTheWholeDecoding)
{
    std::mt19937 rng(21);
    for (int round = 0; round < 2000; ++round) {
        const Utf16Order order = round % 2 ? Utf16Order::Big : Utf16Order::Little;
        const std::string body = randomUnits(rng, order);
        std::vector<Utf16Irregular> wantIrregular;
        const std::string want = test::referenceDecode(body, order, &wantIrregular);
        const std::string file = (order == Utf16Order::Little ? "\xFF\xFE" : "\xFE\xFF") + body;
        EncodedStringSource upstream(file);
        DecodingSource src(upstream, true);
        src.keepIrregular();
        const size_t maxPiece = round % 3 == 0 ? 3 : round % 3 == 1 ? 40 : 70000;
        ASSERT_EQ(readAll(src, rng, maxPiece), want) << "round " << round;
        EXPECT_TRUE(src.isUtf16());
        EXPECT_TRUE(src.exhausted());
        EXPECT_EQ(src.decodedBytes(), static_cast<int64_t>(want.size()));
        EXPECT_EQ(src.upstreamBytes(), static_cast<int64_t>(file.size()));
        ASSERT_EQ(src.irregular().size(), wantIrregular.size());
        for (size_t k = 0; k < wantIrregular.size(); ++k) {
            EXPECT_EQ(src.irregular()[k].decodedOffset, wantIrregular[k].decodedOffset);
            EXPECT_EQ(src.irregular()[k].unit, wantIrregular[k].unit);
        }
    }
}

TEST(DecodingSource, OtherInputsPassThroughAndAUtf8MarkIsLeftOut)
{
    const std::string mark = "\xEF\xBB\xBF";
    struct Case {
        std::string in;
        bool detect;
        std::string out;
        TextForm form;
    } cases[] = {
        {"plain text", true, "plain text", TextForm::Bytes},
        {mark + "text", true, "text", TextForm::Utf8Bom},
        {mark, true, "", TextForm::Utf8Bom},
        {"\xEF\xBB", true, "\xEF\xBB", TextForm::Bytes},
        {"\xFF", true, "\xFF", TextForm::Bytes},
        {"\xFF\xFE", true, "", TextForm::Utf16Little},
        {std::string("\xFE\xFF\x00", 3), true, "\xEF\xBF\xBD", TextForm::Utf16Big},
        {std::string("\xFF\xFE" "a\0", 4), false, std::string("\xFF\xFE" "a\0", 4), TextForm::Bytes},
        {mark + "text", false, mark + "text", TextForm::Bytes},
        {"", true, "", TextForm::Bytes},
    };
    std::mt19937 rng(2);
    for (const Case& c : cases)
        for (size_t maxPiece : {1, 2, 3, 4, 5, 100}) {
            EncodedStringSource upstream(c.in);
            DecodingSource src(upstream, c.detect);
            EXPECT_EQ(readAll(src, rng, maxPiece), c.out) << testing::PrintToString(c.in) << " " << maxPiece;
            EXPECT_EQ(src.form(), c.form) << testing::PrintToString(c.in);
        }
}

TEST(DecodingSource, AReadErrorIsPassedOn)
{
    for (size_t failAt : {0, 1, 2, 3, 100, 70000}) {
        std::string file = "\xFF\xFE";
        for (int i = 0; i < 40000; ++i)
            file += std::string("a\0", 2);
        EncodedStringSource upstream(file, failAt);
        DecodingSource src(upstream, true);
        std::vector<uint8_t> buf(4096);
        int64_t got = 0;
        int64_t total = 0;
        while ((got = src.read(buf.data(), buf.size())) > 0)
            total += got;
        EXPECT_EQ(got, -1) << failAt;
        EXPECT_LE(total, static_cast<int64_t>(failAt)) << failAt;
    }
}

} // namespace
} // namespace tw
