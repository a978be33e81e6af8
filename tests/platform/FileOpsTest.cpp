#include "platform/FileOps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

struct OpsFixture : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        std::string templ = ::testing::TempDir() + "twopsXXXXXX";
        dir = std::string(::mkdtemp(templ.data())) + "/";
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
};

TEST_F(OpsFixture, TimesKeepNanoseconds)
{
    const std::string f = dir + "f";
    std::ofstream(f) << "x";
    PreciseTimes t;
    t.lastWriteSec = 1234567890;
    t.lastWriteNsec = 123456789;
    t.lastAccessSec = 1111111111;
    t.lastAccessNsec = 1;
    ASSERT_TRUE(RealFileOps().setTimes(f, t));
    PreciseTimes back;
    ASSERT_TRUE(RealFileOps().readTimes(f, &back));
    EXPECT_EQ(back.lastWriteSec, t.lastWriteSec);
    EXPECT_EQ(back.lastWriteNsec, t.lastWriteNsec);
    EXPECT_EQ(back.lastAccessSec, t.lastAccessSec);
    EXPECT_EQ(back.lastAccessNsec, t.lastAccessNsec);
    FileStatus st;
    ASSERT_TRUE(RealFileSystem().status(f, &st));
    EXPECT_EQ(st.lastWrite, ToFileTime(1234567890, 123456789));
}

TEST_F(OpsFixture, FileTimeConversionRoundTrips)
{
    for (const int64_t sec : {-11644473600LL, -1LL, 0LL, 1700000000LL}) {
        int64_t s = 0, ns = 0;
        FromFileTime(ToFileTime(sec, 456700), &s, &ns);
        EXPECT_EQ(s, sec);
        EXPECT_EQ(ns, 456700);
    }
}

TEST_F(OpsFixture, DirectoriesModesAndNames)
{
    FileOps& ops = RealFileOps();
    EXPECT_TRUE(ops.makeDirectory(dir + "d"));
    EXPECT_TRUE(ops.makeDirectory(dir + "d")) << "an existing directory is fine";
    std::ofstream(dir + "file") << "x";
    EXPECT_FALSE(ops.makeDirectory(dir + "file"));
    EXPECT_FALSE(ops.makeDirectory(dir + "missing/deeper"));

    ASSERT_TRUE(ops.setMode(dir + "file", 0444));
    struct stat st {};
    ::stat((dir + "file").c_str(), &st);
    EXPECT_TRUE(IsReadOnlyMode(st.st_mode));
    EXPECT_FALSE(IsReadOnlyMode(0644));

    EXPECT_TRUE(IsHiddenName("/a/.profile"));
    EXPECT_FALSE(IsHiddenName("/a.b/profile"));
    EXPECT_TRUE(IsHiddenName(".x"));

    const std::string u1 = ops.createUniqueFile(dir, "TWx."), u2 = ops.createUniqueFile(dir, "TWx.");
    ASSERT_FALSE(u1.empty());
    EXPECT_NE(u1, u2);
    EXPECT_EQ(u1.rfind(dir + "TWx.", 0), 0u);
    ::stat(u1.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_EQ(::link(u1.c_str(), (dir + "hard").c_str()), 0);
    EXPECT_TRUE(ops.sameFile(u1, dir + "hard"));
    EXPECT_FALSE(ops.sameFile(u1, u2));
    EXPECT_TRUE(ops.rename(u2, dir + "renamed"));
    EXPECT_TRUE(ops.syncDirectory(dir));
    {
        auto lock = ops.lockFile(dir + "lock");
        EXPECT_NE(lock, nullptr);
    }
}

} // namespace
} // namespace tw
