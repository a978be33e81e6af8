#include "engine/MultiLiteralFilter.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

// Whether `needle` occurs in `text`, one start after the other.
bool occurs(const std::string& text, const MultiLiteralFilter::Needle& needle, const CharClasses& cc)
{
    const std::string& n = needle.bytes;
    if (n.empty())
        return true;
    for (size_t s = 0; s + n.size() <= text.size(); ++s) {
        size_t k = 0;
        for (; k < n.size(); ++k) {
            const auto a = static_cast<uint8_t>(text[s + k]);
            const auto b = static_cast<uint8_t>(n[k]);
            if (a != b && (needle.caseSensitive || cc.upper[a] != cc.upper[b]))
                break;
        }
        if (k == n.size())
            return true;
    }
    return false;
}

// Random strings over a small alphabet (so that strings occur, partly occur and nearly
// occur), fed whole and in random pieces, through both kernels, one filter reused for many
// texts: seen() must be exactly whether the string occurs.
TEST(MultiLiteralFilter, SeesExactlyTheStringsThatOccur)
{
    const CharClasses cc = CharClasses::make(CodePageKind::Windows1252);
    const std::string alphabet = "abAB_x\n\0\xe9\xc9"s;
    std::mt19937 rng(4242);
    auto randomText = [&](size_t len) {
        std::string s;
        for (size_t i = 0; i < len; ++i)
            s.push_back(alphabet[rng() % alphabet.size()]);
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<MultiLiteralFilter::Needle> needles;
        const size_t count = 1 + rng() % 24;
        for (size_t i = 0; i < count; ++i)
            needles.push_back({randomText(rng() % 7 == 0 ? 0 : 1 + rng() % (round % 3 == 0 ? 40 : 6)), rng() % 2 == 0});
        MultiLiteralFilter filter(needles, cc);
        for (int text = 0; text < 8; ++text) {
            const std::string t = randomText(rng() % (text % 4 == 0 ? 3000 : 200));
            const bool scalar = rng() % 2 == 0;
            filter.forceScalar(scalar);
            filter.begin();
            // Pieces of 0 to 70 bytes, or the whole text at once.
            const bool whole = rng() % 3 == 0;
            for (size_t p = 0; p < t.size();) {
                const size_t n = whole ? t.size() : std::min(t.size() - p, static_cast<size_t>(rng() % 71));
                filter.feed(reinterpret_cast<const uint8_t*>(t.data()) + p, n);
                p += n;
            }
            bool all = true;
            for (size_t i = 0; i < needles.size(); ++i) {
                const bool expected = occurs(t, needles[i], cc);
                all = all && expected;
                ASSERT_EQ(filter.seen(i), expected)
                    << "round " << round << " text " << text << " needle " << i << " (" << needles[i].bytes
                    << (needles[i].caseSensitive ? ", case" : ", no case") << (scalar ? ", scalar" : "") << ")";
            }
            EXPECT_EQ(filter.allSeen(), all);
        }
    }
}

} // namespace
} // namespace tw
