// The byte keeper read again and again, in random pieces with random passes over the
// zeros it offers, against what the source holds: sizes around the memory bound, sparse
// sources, a read error of the source and failures of the temporary file.
#include "core/KeptBytes.h"

#include "ScratchWrappingFs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

namespace tw {
namespace {

struct Hole {
    int64_t start, end;
};

// `size` bytes of a pattern with holes of zeros it offers to pass over; a read that would
// reach `failAt` fails, as does every read after it.
class PatternSource final : public ByteSource {
public:
    PatternSource(int64_t size, std::vector<Hole> holes, int64_t failAt = -1)
        : m_size(size), m_holes(std::move(holes)), m_failAt(failAt)
    {
    }
    int64_t read(void* buffer, size_t count) override
    {
        ++reads;
        const int64_t n = std::min(static_cast<int64_t>(count), m_size - m_pos);
        if (m_failed || (m_failAt >= 0 && m_pos + n > m_failAt)) {
            m_failed = true;
            return -1;
        }
        auto* out = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < n; ++i)
            out[i] = byteAt(m_pos + i);
        m_pos += n;
        return n;
    }
    int64_t zerosAhead() override { return m_failed ? 0 : zerosFrom(m_pos); }
    void skipZeros(int64_t count) override
    {
        EXPECT_LE(count, zerosFrom(m_pos));
        m_pos += count;
    }

    uint8_t byteAt(int64_t at) const
    {
        if (zerosFrom(at) > 0)
            return 0;
        return static_cast<uint8_t>((static_cast<uint64_t>(at) * 0x9E3779B97F4A7C15ull) >> 56);
    }
    int64_t zerosFrom(int64_t at) const
    {
        for (const Hole& h : m_holes)
            if (h.start <= at && at < h.end)
                return h.end - at;
        return 0;
    }
    int64_t size() const { return m_size; }
    int64_t failAt() const { return m_failAt; }
    long reads = 0;

private:
    int64_t m_size;
    std::vector<Hole> m_holes;
    int64_t m_failAt;
    int64_t m_pos = 0;
    bool m_failed = false;
};

struct Pass {
    int64_t delivered = 0; // bytes read or passed over
    bool error = false;
    bool wrongByte = false;
};

// Reads as the scan does: pieces of random size, some of the zeros offered passed over
// (`skipAll`: all of them), until the end, an error or `stopAfter` bytes.
Pass readPass(ByteSource& in, const PatternSource& ref, std::mt19937& rng, bool skipAll = false,
              int64_t stopAfter = std::numeric_limits<int64_t>::max())
{
    static const size_t pieces[] = {1, 7, 4096, 70000, 250000};
    std::vector<uint8_t> buf(250000);
    Pass pass;
    while (pass.delivered < stopAfter) {
        if (skipAll || rng() % 2) {
            if (const int64_t zeros = in.zerosAhead(); zeros > 0) {
                const int64_t skip = skipAll ? zeros : 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(zeros));
                pass.wrongByte |= ref.zerosFrom(pass.delivered) < skip;
                in.skipZeros(skip);
                pass.delivered += skip;
            }
        }
        const size_t want = 1 + rng() % pieces[rng() % std::size(pieces)];
        const int64_t got = in.read(buf.data(), want);
        if (got < 0) {
            pass.error = true;
            break;
        }
        for (int64_t i = 0; i < got; ++i)
            pass.wrongByte |= buf[static_cast<size_t>(i)] != ref.byteAt(pass.delivered + i);
        pass.delivered += got;
        if (static_cast<size_t>(got) < want)
            break;
    }
    return pass;
}

// A whole pass read what reading the source straight gives: every byte, or a read error
// before the failing offset (`failAt`, -1 for none); never an early end.
void expectWhole(const Pass& pass, int64_t size, int64_t failAt, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_FALSE(pass.wrongByte);
    if (failAt < 0) {
        EXPECT_FALSE(pass.error);
        EXPECT_EQ(pass.delivered, size);
    } else {
        EXPECT_TRUE(pass.error);
        EXPECT_LE(pass.delivered, failAt);
    }
}

std::vector<Hole> randomHoles(std::mt19937& rng, int64_t size)
{
    std::vector<Hole> holes;
    int64_t at = 0;
    for (int n = static_cast<int>(rng() % 4); n > 0 && at < size; --n) {
        const int64_t start = at + static_cast<int64_t>(rng() % static_cast<uint64_t>(size - at));
        const int64_t end = std::min(size, start + 1 + static_cast<int64_t>(rng() % 300000));
        holes.push_back({start, end});
        at = end + 1; // a data byte between two holes
    }
    return holes;
}

// Counts what is written to the temporary file, and fails a write that would take it
// beyond `writeLimit` bytes, or any extension when `failExtend`.
class FaultyScratchFs final : public test::ScratchWrappingFs {
public:
    int64_t written = 0;
    int64_t writeLimit = std::numeric_limits<int64_t>::max();
    bool failExtend = false;
    bool failCreate = false;

    std::unique_ptr<File> createScratch(const std::string& p, int* e) override
    {
        return failCreate ? nullptr : test::ScratchWrappingFs::createScratch(p, e);
    }

protected:
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override
    {
        class Faulty final : public test::ForwardingFile {
        public:
            Faulty(std::unique_ptr<File> f, FaultyScratchFs& fs) : ForwardingFile(std::move(f)), m_fs(fs) {}
            bool write(const void* d, size_t n) override
            {
                if (m_fs.written + static_cast<int64_t>(n) > m_fs.writeLimit)
                    return false;
                m_fs.written += static_cast<int64_t>(n);
                return ForwardingFile::write(d, n);
            }
            bool truncate(int64_t l) override { return !m_fs.failExtend && ForwardingFile::truncate(l); }

        private:
            FaultyScratchFs& m_fs;
        };
        return std::make_unique<Faulty>(std::move(inner), *this);
    }
};

TEST(KeptBytesTest, RereadsMatchTheSourceAroundTheMemoryBound)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 240; ++round) {
        SCOPED_TRACE(round);
        static const size_t bounds[] = {1, 1000, 65536};
        const size_t bound = bounds[rng() % std::size(bounds)];
        const int64_t size = rng() % 3 ? std::max<int64_t>(0, static_cast<int64_t>(bound) + static_cast<int>(rng() % 6001) - 3000)
                                       : static_cast<int64_t>(rng() % (4 * bound + 300000));
        const std::vector<Hole> holes = randomHoles(rng, size);
        int64_t failAt = size > 0 && rng() % 4 == 0 ? static_cast<int64_t>(rng() % static_cast<uint64_t>(size)) : -1;
        for (const Hole& h : holes)
            if (h.start <= failAt && failAt < h.end)
                failAt = h.end < size ? h.end : -1; // a read fails, passing over zeros does not

        PatternSource direct(size, holes, failAt);
        expectWhole(readPass(direct, direct, rng), size, failAt, "direct");

        PatternSource source(size, holes, failAt);
        FaultyScratchFs fs;
        KeptBytes kept(source, fs, bound);
        // The first pass may stop anywhere (a "one hit" scan); the next goes on from there.
        const Pass first = readPass(kept, source, rng, false, static_cast<int64_t>(rng() % static_cast<uint64_t>(size + 2)));
        EXPECT_FALSE(first.wrongByte);
        for (int again = 0; again < 3; ++again) {
            kept.rewind();
            const long readsBefore = source.reads;
            const bool wasComplete = kept.complete() || kept.failed();
            expectWhole(readPass(kept, source, rng), size, failAt, "again");
            if (wasComplete) {
                EXPECT_EQ(source.reads, readsBefore) << "the source was read twice";
            }
            EXPECT_LE(kept.memoryInUse(), bound);
        }
        EXPECT_FALSE(kept.keepingFailed());
        EXPECT_LE(fs.written, std::max<int64_t>(0, size - static_cast<int64_t>(bound)));
    }
}

TEST(KeptBytesTest, FailedTemporaryFileIsAReadErrorOnEveryPass)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const size_t bound = 1 + rng() % 5000;
        const int64_t size = static_cast<int64_t>(bound) + 1000 + static_cast<int64_t>(rng() % 200000);
        PatternSource source(size, {});
        FaultyScratchFs fs;
        fs.writeLimit = static_cast<int64_t>(rng() % 500);
        fs.failCreate = round % 5 == 0;
        KeptBytes kept(source, fs, bound);
        for (int pass = 0; pass < 3; ++pass) {
            kept.rewind();
            const Pass p = readPass(kept, source, rng);
            EXPECT_FALSE(p.wrongByte);
            EXPECT_TRUE(p.error) << "kept bytes cut short";
            EXPECT_LE(p.delivered, static_cast<int64_t>(bound) + fs.writeLimit);
        }
        EXPECT_TRUE(kept.keepingFailed());
    }

    // A hole the file cannot be extended over: passing over it goes on, the read after
    // it fails, and so does every later pass there.
    PatternSource source(300000, {{100000, 200000}});
    FaultyScratchFs fs;
    fs.failExtend = true;
    KeptBytes kept(source, fs, 1000);
    std::mt19937 skipping(1);
    for (int pass = 0; pass < 2; ++pass) {
        kept.rewind();
        const Pass p = readPass(kept, source, skipping, true);
        EXPECT_TRUE(p.error);
        EXPECT_LE(p.delivered, 200000);
    }
}

TEST(KeptBytesTest, HolesAreKeptAsHolesAndOfferedAgain)
{
    // 4 GB of hole between some data, in the memory part and beyond it.
    const int64_t hole = int64_t{4} << 30;
    const std::vector<Hole> holes{{10, 5000}, {200000, 200000 + hole}};
    const int64_t size = 200000 + hole + 100000;
    PatternSource source(size, holes);
    FaultyScratchFs fs;
    KeptBytes kept(source, fs, 65536);
    std::mt19937 rng(3);
    expectWhole(readPass(kept, source, rng, true), size, -1, "first");
    // The large hole is offered again from its start.
    kept.rewind();
    std::vector<uint8_t> buf(200000);
    EXPECT_EQ(kept.read(buf.data(), buf.size()), 200000);
    ASSERT_EQ(kept.zerosAhead(), hole);
    for (int pass = 0; pass < 2; ++pass) {
        kept.rewind();
        expectWhole(readPass(kept, source, rng, true), size, -1, "again");
        EXPECT_LE(kept.memoryInUse(), 65536u);
    }
    // Only the data beyond the memory bound was written.
    EXPECT_LE(fs.written, 200000 - 65536 + 100000);
}

} // namespace
} // namespace tw
