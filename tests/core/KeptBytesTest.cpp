// The kept bytes of a member read again by later pairs: what is read back equals what was
// kept, across the bound between memory and the temporary file, and a keeper that cannot
// spill fails the read instead of handing out less.
#include "core/KeptBytes.h"

#include "ScratchWrappingFs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace tw {
namespace {

class NoScratchFs final : public test::ScratchWrappingFs {
protected:
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File>) override { return nullptr; }
};

// A source that hands out `data` in reads of any size and offers `zeros` zero bytes to pass
// over first.
class StringSource final : public ByteSource {
public:
    StringSource(std::string data, int64_t zeros) : m_data(std::move(data)), m_zeros(zeros) {}
    int64_t read(void* buffer, size_t count) override
    {
        if (m_zeros > 0) { // not passed over: read as bytes
            const size_t n = static_cast<size_t>(std::min<int64_t>(m_zeros, static_cast<int64_t>(count)));
            std::memset(buffer, 0, n);
            m_zeros -= static_cast<int64_t>(n);
            return static_cast<int64_t>(n);
        }
        const size_t n = std::min(count, m_data.size() - m_pos);
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return static_cast<int64_t>(n);
    }
    int64_t zerosAhead() override { return m_zeros; }
    void skipZeros(int64_t count) override { m_zeros -= count; }

private:
    std::string m_data;
    int64_t m_zeros;
    size_t m_pos = 0;
};

std::string readAll(ByteSource& source, std::mt19937& rng)
{
    std::string out;
    char buffer[300];
    for (;;) {
        const int64_t n = source.read(buffer, 1 + rng() % sizeof buffer);
        if (n <= 0)
            return n == 0 ? out : "<read error>";
        out.append(buffer, static_cast<size_t>(n));
    }
}

TEST(KeptBytes, ReadsBackWhatWasKeptAcrossTheMemoryBound)
{
    std::mt19937 rng(9);
    KeptBytes kept(realFileSystem(), 64);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::string data(rng() % 700, '\0');
        for (char& c : data)
            c = static_cast<char>('a' + rng() % 26);
        const int64_t zeros = round % 3 == 0 ? static_cast<int64_t>(rng() % 200) : 0;
        kept.clear();
        StringSource upstream(data, zeros);
        KeptBytes::Tee tee(upstream, kept);
        // The first reader passes the zeros over and may stop short; the rest is drained.
        std::string first;
        if (const int64_t z = tee.zerosAhead(); z > 0 && round % 2 == 0) {
            tee.skipZeros(z);
            first.assign(static_cast<size_t>(z), '\0');
        }
        char buffer[50];
        const int64_t n = tee.read(buffer, 1 + rng() % sizeof buffer);
        ASSERT_GE(n, 0);
        first.append(buffer, static_cast<size_t>(n));
        ASSERT_TRUE(tee.drain());
        const std::string whole = std::string(static_cast<size_t>(zeros), '\0') + data;
        EXPECT_EQ(whole.compare(0, first.size(), first), 0);
        EXPECT_EQ(kept.size(), static_cast<int64_t>(whole.size()));
        for (int reader = 0; reader < 2; ++reader) {
            KeptBytes::Reader again(kept);
            EXPECT_EQ(readAll(again, rng), whole);
        }
    }
}

TEST(KeptBytes, AKeeperThatCannotSpillFailsTheRead)
{
    NoScratchFs fs;
    KeptBytes kept(fs, 16);
    StringSource upstream(std::string(100, 'x'), 0);
    KeptBytes::Tee tee(upstream, kept);
    std::mt19937 rng(1);
    EXPECT_EQ(readAll(tee, rng), "<read error>");
    EXPECT_TRUE(tee.keepFailed());
    EXPECT_FALSE(tee.drain());
}

} // namespace
} // namespace tw
