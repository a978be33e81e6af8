#include "engine/Sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

std::string digestOf(const std::string& text)
{
    Sha256 sha;
    sha.update(text.data(), text.size());
    return Sha256::hex(sha.finish());
}

// The published test vectors, on the instructions and on the plain rounds; lengths around
// the padding boundary (55, 56, 64 bytes) are where a wrong tail shows.
TEST(Sha256Test, StandardVectorsOnBothPaths)
{
    for (bool hardware : {true, false}) {
        Sha256::allowHardware(hardware);
        EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        EXPECT_EQ(digestOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
                  "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
        Sha256 million;
        const std::string chunk(1000, 'a');
        for (int i = 0; i < 1000; ++i)
            million.update(chunk.data(), chunk.size());
        EXPECT_EQ(Sha256::hex(million.finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    }
    Sha256::allowHardware(true);
}

// Random data in random pieces: both paths agree with one whole-buffer digest of the plain
// rounds, whatever the cut.
TEST(Sha256Test, PiecesAndPathsAgree)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data(rng() % 700);
        for (uint8_t& b : data)
            b = uint8_t(rng());
        Sha256::allowHardware(false);
        Sha256 whole;
        whole.update(data.data(), data.size());
        const Sha256::Digest expected = whole.finish();
        Sha256::allowHardware(true);
        Sha256 pieces;
        for (size_t at = 0; at < data.size();) {
            const size_t n = std::min<size_t>(rng() % 130, data.size() - at);
            pieces.update(data.data() + at, n);
            at += n;
        }
        ASSERT_EQ(pieces.finish(), expected) << "length " << data.size();
    }
}

} // namespace
} // namespace tw
