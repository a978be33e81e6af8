#include "TestUtil.h"
#include "platform/FileOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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
    ASSERT_TRUE(realFileOps().setTimes(f, t));
    PreciseTimes back;
    ASSERT_TRUE(realFileOps().readTimes(f, &back));
    EXPECT_EQ(back.lastWriteSec, t.lastWriteSec);
    EXPECT_EQ(back.lastWriteNsec, t.lastWriteNsec);
    EXPECT_EQ(back.lastAccessSec, t.lastAccessSec);
    EXPECT_EQ(back.lastAccessNsec, t.lastAccessNsec);
    FileStatus st;
    ASSERT_TRUE(realFileSystem().status(f, &st));
    EXPECT_EQ(st.lastWrite, toFileTime(1234567890, 123456789));
}

TEST_F(OpsFixture, FileTimeConversionRoundTrips)
{
    for (const int64_t sec : {-11644473600LL, -1LL, 0LL, 1700000000LL}) {
        int64_t s = 0, ns = 0;
        fromFileTime(toFileTime(sec, 456700), &s, &ns);
        EXPECT_EQ(s, sec);
        EXPECT_EQ(ns, 456700);
    }
}

TEST_F(OpsFixture, DirectoriesModesAndNames)
{
    FileOps& ops = realFileOps();
    EXPECT_TRUE(ops.makeDirectory(dir + "d"));
    EXPECT_TRUE(ops.makeDirectory(dir + "d")) << "an existing directory is fine";
    std::ofstream(dir + "file") << "x";
    EXPECT_FALSE(ops.makeDirectory(dir + "file"));
    EXPECT_FALSE(ops.makeDirectory(dir + "missing/deeper"));

    ASSERT_TRUE(ops.setMode(dir + "file", 0444));
    struct stat st {};
    ::stat((dir + "file").c_str(), &st);
    EXPECT_TRUE(isReadOnlyMode(st.st_mode));
    EXPECT_FALSE(isReadOnlyMode(0644));

    EXPECT_TRUE(isHiddenName("/a/.profile"));
    EXPECT_FALSE(isHiddenName("/a.b/profile"));
    EXPECT_TRUE(isHiddenName(".x"));

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


TEST(FileSystem, OpensRefuseLinksAndFilesThatAreNotRegularWithoutBlocking)
{
    test::TempDir dir;
    test::writeFile(dir.file("real"), "content");
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ::alarm(20); // a blocking open of the FIFO would hang the test; fail it instead
    FileSystem& fs = realFileSystem();
    for (const char* name : {"link", "fifo"}) {
        SCOPED_TRACE(name);
        int err = 0;
        EXPECT_EQ(fs.openRead(dir.file(name), &err), nullptr);
        EXPECT_NE(err, 0);
        EXPECT_EQ(fs.openWrite(dir.file(name), false, false), nullptr);
        EXPECT_EQ(fs.openWrite(dir.file(name), true, true), nullptr);
    }
    ::alarm(0);
    EXPECT_EQ(test::readFile(dir.file("real")), "content") << "never truncated through the link";
    auto file = fs.openRead(dir.file("real"));
    ASSERT_NE(file, nullptr);
    char buf[16];
    EXPECT_EQ(file->read(buf, sizeof buf), 7) << "the descriptor is blocking again";
}

TEST(FileOps, PlaceFileWritesWholeFilesOrNothingAndRefusesLinkedDirectories)
{
    test::TempDir dir, outside;
    FileOps& ops = realFileOps();
    const std::string root = dir.file("bak/");
    auto entries = [&](const std::string& d) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(d))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    auto writeText = [](const std::string& text, bool fail) {
        return [text, fail](File& f) { return f.write(text.data(), text.size()) && !fail; };
    };
    PreciseTimes t{1000000000, 123456789, 1000000001, 5};
    EXPECT_EQ(ops.placeFile(root, "a/b/c.txt", 0640, &t, nullptr, writeText("one", false)), FileOps::PlaceResult::Done);
    EXPECT_EQ(test::readFile(root + "a/b/c.txt"), "one");
    struct stat st {};
    ASSERT_EQ(::stat((root + "a/b/c.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);

    // A failing write (a full disk) leaves the earlier file and nothing beside it.
    EXPECT_EQ(ops.placeFile(root, "a/b/c.txt", 0640, nullptr, nullptr, writeText("two", true)),
              FileOps::PlaceResult::WriteFailed);
    EXPECT_EQ(test::readFile(root + "a/b/c.txt"), "one");
    EXPECT_EQ(entries(root + "a/b"), std::vector<std::string>{"c.txt"});

    // A link at any level below the root, or as the name itself, is refused.
    ASSERT_EQ(::symlink(outside.path().c_str(), (root + "a/linked").c_str()), 0);
    ASSERT_EQ(::symlink((outside.path() + "f").c_str(), (root + "a/f").c_str()), 0);
    for (const char* rel : {"a/linked/x.txt", "a/linked/deep/x.txt", "a/f", "a/../../escape.txt"})
        EXPECT_EQ(ops.placeFile(root, rel, 0600, nullptr, nullptr, writeText("x", false)),
                  FileOps::PlaceResult::DirectoryFailed)
            << rel;
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
    EXPECT_FALSE(std::filesystem::exists(dir.file("escape.txt")));

    // The name must not be the file that is being backed up.
    FileStatus self;
    ASSERT_TRUE(realFileSystem().status(root + "a/b/c.txt", &self));
    EXPECT_EQ(ops.placeFile(root, "a/b/c.txt", 0600, nullptr, &self, writeText("x", false)),
              FileOps::PlaceResult::DirectoryFailed);
    EXPECT_EQ(test::readFile(root + "a/b/c.txt"), "one");
}

} // namespace
} // namespace tw
