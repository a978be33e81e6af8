// The UTF-16 decoder piece by piece against a one-pass reference decoder, and the UTF-8
// well-formedness test against the set of canonical encodings of every code point.
#include "engine/Utf16Codec.h"

#include "Utf16Reference.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace tw {
namespace {

using test::put;
using test::referenceDecode;
using test::utf8Of;


// Random UTF-16 text: mostly ASCII runs (the fast path), other BMP characters, pairs,
// unpaired halves of both kinds and now and then an odd last byte.
std::string randomUtf16(std::mt19937& rng, Utf16Order order)
{
    std::string s;
    const size_t units = rng() % 200;
    for (size_t k = 0; k < units; ++k) {
        switch (rng() % 8) {
        case 0:
        case 1:
        case 2:
            for (int n = static_cast<int>(rng() % 40); n > 0; --n)
                put(s, static_cast<uint16_t>(rng() % 0x80), order);
            break;
        case 3:
            put(s, static_cast<uint16_t>(0x80 + rng() % 0x780), order);
            break;
        case 4:
            put(s, static_cast<uint16_t>(0xE000 + rng() % 0x2000), order); // up to FFFF, FFFD included
            break;
        case 5:
            put(s, static_cast<uint16_t>(0xD800 + rng() % 0x400), order);
            put(s, static_cast<uint16_t>(0xDC00 + rng() % 0x400), order);
            break;
        case 6:
            put(s, static_cast<uint16_t>(0xD800 + rng() % 0x800), order); // a half alone
            break;
        default:
            put(s, static_cast<uint16_t>(0x800 + rng() % 0xD000), order);
        }
    }
    if (rng() % 4 == 0)
        s.push_back(static_cast<char>(rng()));
    return s;
}

TEST(Utf16Decoder, PiecewiseDecodingEqualsTheWholeTextDecodedAtOnce)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        const Utf16Order order = round % 2 ? Utf16Order::Big : Utf16Order::Little;
        const std::string in = randomUtf16(rng, order);
        std::vector<Utf16Irregular> wantIrregular;
        const std::string want = referenceDecode(in, order, &wantIrregular);

        // Input arrives in random pieces (an unconsumed tail stays for the next call) and
        // the output room is random, down to one byte, as a caller's buffer may be.
        Utf16Decoder dec(order);
        std::deque<Utf16Irregular> irregular;
        dec.recordIrregular(&irregular);
        std::string got, pendingIn;
        size_t fed = 0;
        const bool bigPieces = round % 3 == 0;
        for (int guard = 0; guard < 100000; ++guard) {
            if (fed < in.size() && (pendingIn.size() < 4 || rng() % 2)) {
                const size_t n = std::min(in.size() - fed, static_cast<size_t>(1 + rng() % (bigPieces ? 100 : 5)));
                pendingIn.append(in, fed, n);
                fed += n;
            }
            const bool final = fed == in.size();
            uint8_t out[64];
            const size_t room = 1 + rng() % (bigPieces ? 64 : 6);
            const auto step = dec.decode(reinterpret_cast<const uint8_t*>(pendingIn.data()), pendingIn.size(), out,
                                         room, final);
            ASSERT_LE(step.produced, room);
            got.append(reinterpret_cast<const char*>(out), step.produced);
            pendingIn.erase(0, step.consumed);
            if (final && pendingIn.empty())
                break;
        }
        ASSERT_EQ(got, want) << "round " << round;
        ASSERT_EQ(dec.decodedBytes(), static_cast<int64_t>(want.size()));
        ASSERT_EQ(irregular.size(), wantIrregular.size()) << "round " << round;
        for (size_t k = 0; k < irregular.size(); ++k) {
            EXPECT_EQ(irregular[k].decodedOffset, wantIrregular[k].decodedOffset);
            EXPECT_EQ(irregular[k].unit, wantIrregular[k].unit);
            EXPECT_EQ(irregular[k].halfUnit, wantIrregular[k].halfUnit);
        }
    }
}

TEST(Utf16Decoder, WithoutFinalAnUnfinishedUnitOrPairWaits)
{
    struct Case {
        std::string in; // little-endian
        size_t consumed;
    } cases[] = {
        {std::string("a", 1), 0},                      // half a unit
        {std::string("a\0b", 3), 2},                   // one unit and half the next
        {std::string("\x3D\xD8", 2), 0},               // high surrogate alone at the end
        {std::string("\x3D\xD8\x00", 3), 0},           // high surrogate and half its partner
        {std::string("\x3D\xD8\x00\xDE", 4), 4},       // the whole pair
        {std::string("\x3D\xD8\x41\x00", 4), 4},       // high surrogate, then no low one: irregular
        {std::string("\x00\xDE", 2), 2},               // low surrogate alone: irregular at once
    };
    for (const Case& c : cases) {
        Utf16Decoder dec(Utf16Order::Little);
        uint8_t out[16];
        const auto step = dec.decode(reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size(), out, sizeof out, false);
        EXPECT_EQ(step.consumed, c.consumed) << testing::PrintToString(c.in);
    }
}

// Every 1-, 2- and 3-byte string, and random 4- to 8-byte strings biased towards lead and
// continuation bytes, is well formed exactly when it splits into canonical encodings.
TEST(Utf8WellFormed, AgreesWithTheCanonicalEncodingsOfAllCodePoints)
{
    // canonical[n - 1] holds, for each n-byte value, whether it encodes a code point.
    std::vector<std::vector<bool>> canonical = {std::vector<bool>(1u << 8), std::vector<bool>(1u << 16),
                                                std::vector<bool>(1u << 24), std::vector<bool>()};
    std::set<uint32_t> fourByte;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string e = utf8Of(cp);
        uint32_t v = 0;
        for (char c : e)
            v = (v << 8) | static_cast<uint8_t>(c);
        if (e.size() == 4)
            fourByte.insert(v);
        else
            canonical[e.size() - 1][v] = true;
    }
    auto isCanonical = [&](const std::string& s, size_t i, size_t n) {
        uint32_t v = 0;
        for (size_t k = 0; k < n; ++k)
            v = (v << 8) | static_cast<uint8_t>(s[i + k]);
        return n == 4 ? fourByte.count(v) > 0 : static_cast<bool>(canonical[n - 1][v]);
    };
    auto reference = [&](const std::string& s) {
        // UTF-8 is prefix-free, so taking the one encoding that matches at each step decides.
        size_t i = 0;
        while (i < s.size()) {
            size_t n = 1;
            while (n <= 4 && i + n <= s.size() && !isCanonical(s, i, n))
                ++n;
            if (n > 4 || i + n > s.size())
                return false;
            i += n;
        }
        return true;
    };
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        const char b[3] = {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
        for (size_t len : {size_t(1), size_t(2), size_t(3)}) {
            if (len < 3 && (v & ((1u << (8 * (3 - len))) - 1)) != 0)
                continue; // shorter strings once each
            const std::string s(b, len);
            ASSERT_EQ(isWellFormedUtf8(s), reference(s)) << testing::PrintToString(s);
        }
    }
    std::mt19937 rng(5);
    const uint8_t interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                   0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    for (int k = 0; k < 300000; ++k) {
        std::string s(4 + rng() % 5, ' ');
        for (char& c : s)
            c = static_cast<char>(rng() % 3 ? interesting[rng() % sizeof interesting] : rng());
        ASSERT_EQ(isWellFormedUtf8(s), reference(s)) << testing::PrintToString(s);
    }
}

} // namespace
} // namespace tw
