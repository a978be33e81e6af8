// The hash in front of a temporary output: over random sequences of writes, seeks, reads,
// truncates and failed calls, a digest it gives must be the SHA-256 of the file's whole
// content, and it must give one exactly when a plain model says the content was appended
// from an emptied file (so an output written as a pair writes it is never hashed twice).
#include "core/HashedOutput.h"
#include "engine/Sha256.h"

#include "ScratchWrappingFs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tw {
namespace {

// A scratch file whose writes and truncates fail on demand; a failed write lands the
// first half of its bytes, as a full disk may.
class FaultyFile final : public test::ForwardingFile {
public:
    using ForwardingFile::ForwardingFile;
    bool failNext = false;
    bool write(const void* d, size_t n) override
    {
        if (!failNext)
            return ForwardingFile::write(d, n);
        failNext = false;
        (void)ForwardingFile::write(d, n / 2);
        return false;
    }
    bool truncate(int64_t length) override
    {
        if (!failNext)
            return ForwardingFile::truncate(length);
        failNext = false;
        return false;
    }
};

std::string contentOf(File& f)
{
    EXPECT_TRUE(f.seek(0));
    std::string all;
    char buf[4096];
    for (int64_t n; (n = f.read(buf, sizeof buf)) > 0;)
        all.append(buf, static_cast<size_t>(n));
    return all;
}

std::string sha(const std::string& bytes)
{
    Sha256 s;
    s.update(bytes.data(), bytes.size());
    return Sha256::hex(s.finish());
}

// What the file holds and whether every change since it was emptied was an append at
// its end: the plain reference the hash must agree with.
struct Model {
    std::string content;
    int64_t position = 0;
    bool appendOnly = false; // nothing emptied it through the hash yet
};

void step(std::mt19937& rng, FaultyFile& file, HashedOutput& out, Model& m)
{
    const bool fail = rng() % 23 == 0;
    switch (rng() % 10) {
    case 0: { // seek anywhere, mostly to the start or the end
        const int64_t size = static_cast<int64_t>(m.content.size());
        const int64_t to = rng() % 3 == 0 ? 0 : rng() % 3 == 0 ? size : static_cast<int64_t>(rng() % (size + 5));
        ASSERT_TRUE(out.seek(to));
        m.position = to;
        break;
    }
    case 1: { // read some
        char buf[300];
        const int64_t n = out.read(buf, rng() % sizeof buf);
        ASSERT_GE(n, 0);
        m.position += n;
        break;
    }
    case 2: { // truncate to 0, to the same length or to another
        const int64_t size = static_cast<int64_t>(m.content.size());
        const int64_t length = rng() % 2 ? 0 : rng() % 2 ? size : static_cast<int64_t>(rng() % (size + 50));
        file.failNext = fail;
        if (!out.truncate(length)) {
            ASSERT_TRUE(fail);
            m.appendOnly = false;
            break;
        }
        m.content.resize(static_cast<size_t>(length), '\0');
        if (length == 0)
            m.appendOnly = true;
        else if (length != size)
            m.appendOnly = false;
        break;
    }
    case 3:
        ASSERT_EQ(out.position(), m.position);
        break;
    default: { // write a piece of 0 to 5000 bytes
        std::string bytes(rng() % 5001, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        const size_t at = static_cast<size_t>(m.position);
        const bool atEnd = at == m.content.size();
        file.failNext = fail;
        const bool ok = out.write(bytes.data(), bytes.size());
        ASSERT_EQ(ok, !fail);
        const size_t landed = ok ? bytes.size() : bytes.size() / 2;
        if (at > m.content.size())
            m.content.resize(at, '\0');
        m.content.replace(at, std::min(landed, m.content.size() - at), bytes.substr(0, landed));
        if (!ok || !atEnd)
            m.appendOnly = false;
        m.position = static_cast<int64_t>(at + landed);
        if (!ok) { // where a failed write leaves the position is not known: seek again
            ASSERT_TRUE(out.seek(m.position));
        }
        break;
    }
    }
}

TEST(HashedOutput, DigestIsTheContentsExactlyWhenItWasOnlyAppended)
{
    std::mt19937 rng(4711);
    int digests = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        auto inner = realFileSystem().createScratch("TW");
        ASSERT_TRUE(inner);
        FaultyFile file(std::move(inner));
        // Left over from the file's last use: the hash knows nothing of it.
        const std::string old(rng() % 700, 'o');
        ASSERT_TRUE(file.write(old.data(), old.size()));
        HashedOutput out;
        out.bind(file);
        Model m;
        m.content = old;
        m.position = static_cast<int64_t>(old.size());
        // Most rounds start as a pair does: at 0, emptied.
        if (rng() % 4 != 0) {
            ASSERT_TRUE(out.seek(0) && out.truncate(0));
            m = Model{std::string(), 0, true};
        }
        const int steps = static_cast<int>(rng() % 3 == 0 ? rng() % 4 : rng() % 30);
        for (int i = 0; i < steps; ++i) {
            step(rng, file, out, m);
            if (::testing::Test::HasFatalFailure())
                return;
        }
        std::string hex;
        int64_t length = -1;
        const bool given = out.takeDigest(&hex, &length);
        ASSERT_EQ(given, m.appendOnly) << "round " << round;
        const std::string actual = contentOf(file);
        ASSERT_EQ(actual, m.content) << "round " << round; // the model follows the file
        if (given) {
            ++digests;
            EXPECT_EQ(length, static_cast<int64_t>(actual.size()));
            EXPECT_EQ(hex, sha(actual)) << "round " << round;
            // The hash is spent: a second digest needs the file emptied again.
            EXPECT_FALSE(out.takeDigest(&hex, &length));
        } else {
            ++refused;
        }
    }
    // Both answers came up often enough to mean something.
    EXPECT_GT(digests, 40);
    EXPECT_GT(refused, 40);
}

TEST(HashedOutput, ReboundOutputForgetsTheHashOfTheFileBefore)
{
    auto a = realFileSystem().createScratch("TW");
    auto b = realFileSystem().createScratch("TW");
    ASSERT_TRUE(a && b);
    HashedOutput out;
    ASSERT_TRUE(out.bind(*a).seek(0) && out.truncate(0) && out.write("abc", 3));
    // The next file's output: it holds bytes the hash never saw, until it is emptied.
    ASSERT_TRUE(b->write("old", 3));
    ASSERT_TRUE(out.bind(*b).seek(3) && out.write("xyz", 3));
    std::string hex;
    int64_t length = 0;
    EXPECT_FALSE(out.takeDigest(&hex, &length));
    ASSERT_TRUE(out.seek(0) && out.truncate(0) && out.write("xyz", 3));
    ASSERT_TRUE(out.takeDigest(&hex, &length));
    EXPECT_EQ(hex, sha("xyz"));
    EXPECT_EQ(length, 3);
}

} // namespace
} // namespace tw
