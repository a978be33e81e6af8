#include "TestUtil.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// The "own" calls act on the entry named, never through a link: a link's own time is
// set and its target's is not; a link's mode is refused, the target keeping its own.
TEST_F(OpsFixture, OwnTimesAndModeNeverGoThroughALink)
{
    const std::string f = dir + "f", link = dir + "l";
    std::ofstream(f) << "x";
    ASSERT_EQ(::chmod(f.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(f.c_str(), link.c_str()), 0);
    PreciseTimes old;
    old.lastWriteSec = old.lastAccessSec = 1000000000;
    ASSERT_TRUE(realFileOps().setTimes(f, old));
    PreciseTimes t;
    t.lastWriteSec = 1234567890;
    t.lastAccessSec = 1111111111;
    ASSERT_TRUE(realFileOps().setOwnTimes(link, t, false));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_FALSE(realFileOps().setOwnMode(link, 0444));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // On the file itself: the access time only when asked for; the mode as given.
    ASSERT_TRUE(realFileOps().setOwnTimes(f, t, false));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    ASSERT_TRUE(realFileOps().setOwnTimes(f, t, true));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1111111111);
    ASSERT_TRUE(realFileOps().setOwnMode(f, 0400));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0400u);
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
    std::unique_ptr<DirectoryCursor> cursor = fs.newDirectoryCursor();
    for (const char* name : {"link", "fifo"}) {
        SCOPED_TRACE(name);
        int err = 0;
        EXPECT_EQ(fs.openRead(dir.file(name), &err), nullptr);
        EXPECT_NE(err, 0);
        err = 0;
        EXPECT_EQ(fs.openReadNear(dir.file(name), cursor.get(), &err), nullptr) << "nor relative to the directory";
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

TEST(FileSystem, ReadsReachTheRealEndAndSeeksKeepTheirPlace)
{
    test::TempDir dir;
    test::writeFile(dir.file("grows"), "abc");
    FileSystem& fs = realFileSystem();
    std::unique_ptr<DirectoryCursor> cursor = fs.newDirectoryCursor();
    for (bool near : {false, true}) {
        SCOPED_TRACE(near ? "through a cursor" : "by path");
        test::writeFile(dir.file("grows"), "abc");
        auto file = near ? fs.openReadNear(dir.file("grows"), cursor.get()) : fs.openRead(dir.file("grows"));
        ASSERT_NE(file, nullptr);
        char buf[16] = {};
        EXPECT_EQ(file->read(buf, sizeof buf), 3) << "a short count at the end the open saw";
        {
            std::ofstream more(dir.file("grows"), std::ios::app);
            more << "def";
        }
        EXPECT_EQ(file->read(buf, sizeof buf), 3) << "what was added since is still read";
        EXPECT_EQ(std::string(buf, 3), "def");
        EXPECT_EQ(file->read(buf, sizeof buf), 0);
        FileStatus st;
        ASSERT_TRUE(file->status(&st));
        EXPECT_EQ(st.size, 6);
        ASSERT_TRUE(file->seek(0));
        EXPECT_EQ(file->position(), 0);
        EXPECT_EQ(file->read(buf, 4), 4);
        EXPECT_EQ(std::string(buf, 4), "abcd") << "the seek moved the descriptor";
        ASSERT_TRUE(file->seek(1));
        EXPECT_EQ(file->read(buf, 2), 2);
        EXPECT_EQ(std::string(buf, 2), "bc");
    }
    // A file whose size the system does not know (0) is read to its real end.
    auto proc = fs.openRead("/proc/self/status");
    ASSERT_NE(proc, nullptr);
    std::string text(1 << 16, '\0');
    const int64_t got = proc->read(text.data(), text.size());
    ASSERT_GT(got, 0);
    EXPECT_NE(text.substr(0, static_cast<size_t>(got)).find("VmRSS"), std::string::npos);
}

// Names of random bytes (control bytes and bytes with the high bit among them), many
// sharing their first eight bytes or beginning another name, come out in byte order.
TEST(FileSystem, ListsADirectoryInByteOrderOfNames)
{
    const char bytes[] = {'a', 'b', '\x01', '\x7F', '\x80', '\xFF'};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        test::TempDir dir;
        std::set<std::string> names;
        std::string name = "a";
        for (int k = 0; k < 300; ++k) {
            // Half the time a name close to the one before: longer, shorter or changed at
            // its end, so that names share their first bytes.
            if (rng() % 2 == 0 || name.size() > 20)
                name.resize(std::min<size_t>(name.size(), 1 + rng() % 12));
            name.push_back(bytes[rng() % 6]);
            if (rng() % 3 == 0)
                name[rng() % name.size()] = bytes[rng() % 6];
            if (name == "." || name == "..")
                continue;
            test::writeFile(dir.file(name), "");
            names.insert(name);
        }
        std::vector<DirEntry> entries;
        ASSERT_TRUE(realFileSystem().listDirectory(dir.file(""), &entries));
        ASSERT_EQ(entries.size(), names.size());
        size_t i = 0;
        for (const std::string& expected : names)
            ASSERT_EQ(entries[i++].name, expected) << "seed " << seed << " place " << i - 1;
    }
}

TEST(FileSystem, CursorOpensTheRightFileWhateverTheOrderOfDirectories)
{
    test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("a").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("b").c_str(), 0700), 0);
    // Enough long names that a directory takes several reads to list.
    std::vector<std::string> names;
    for (int i = 0; i < 1500; ++i)
        names.push_back("file-with-a-rather-long-name-" + std::to_string(i * 7919 % 1500));
    for (const std::string& n : names) {
        test::writeFile(dir.file("a/" + n), "a" + n);
        test::writeFile(dir.file("b/" + n), "b" + n);
    }
    FileSystem& fs = realFileSystem();
    std::vector<DirEntry> entries{DirEntry{"stale", EntryType::Other}};
    ASSERT_TRUE(fs.listDirectory(dir.file("a/"), &entries));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(entries.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(entries[i].name, names[i]);
        EXPECT_EQ(entries[i].type, EntryType::File);
    }
    std::unique_ptr<DirectoryCursor> cursor = fs.newDirectoryCursor();
    for (size_t i = 0; i < names.size(); i += 97) {
        for (const char* d : {"a/", "a/", "b/"}) {
            auto file = fs.openReadNear(dir.file(d + names[i]), cursor.get());
            ASSERT_NE(file, nullptr);
            char buf[64];
            const int64_t got = file->read(buf, sizeof buf);
            EXPECT_EQ(std::string(buf, static_cast<size_t>(std::max<int64_t>(got, 0))), d[0] + names[i]);
            EXPECT_EQ(file->path(), dir.file(d + names[i]));
        }
    }
    // The directory held by the cursor is renamed and another put in its place: the name
    // now leads to the new one.
    ASSERT_EQ(::rename(dir.file("b").c_str(), dir.file("old-b").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("b").c_str(), 0700), 0);
    test::writeFile(dir.file("b/" + names[0]), "new");
    auto fresh = fs.openReadNear(dir.file("a/" + names[0]), cursor.get());
    ASSERT_NE(fresh, nullptr);
    fresh = fs.openReadNear(dir.file("b/" + names[0]), cursor.get());
    ASSERT_NE(fresh, nullptr);
    char buf[8];
    EXPECT_EQ(fresh->read(buf, sizeof buf), 3);
    EXPECT_EQ(fs.openReadNear(dir.file("missing/x"), cursor.get()), nullptr);
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

// A placement cursor keeps the directory of the last file placed, so the next file of that
// directory goes there without a walk. A directory removed meanwhile is made again; one
// swapped for a link is never written through (the file goes to the directory the cursor
// holds, and a fresh walk refuses the link); a link as the name stays refused, and nothing
// of the refused file is left beside it.
TEST(FileOps, PlacementCursorNeverWritesThroughALinkAndRemakesARemovedDirectory)
{
    test::TempDir dir, outside;
    FileOps& ops = realFileOps();
    const std::string root = dir.file("bak/");
    auto cursor = ops.newPlacementCursor();
    ASSERT_TRUE(cursor);
    auto place = [&](const std::string& rel, const std::string& text) {
        return ops.placeFileNear(root, rel, 0600, nullptr, nullptr,
                                 [text](File& f) { return f.write(text.data(), text.size()); }, cursor.get());
    };
    auto entries = [](const std::string& d) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(d))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    using R = FileOps::PlaceResult;
    EXPECT_EQ(place("a/b/1.txt", "one"), R::Done);
    EXPECT_EQ(place("a/b/2.txt", "two"), R::Done);
    EXPECT_EQ(test::readFile(root + "a/b/2.txt"), "two");
    std::filesystem::remove_all(root + "a/b");
    EXPECT_EQ(place("a/b/3.txt", "three"), R::Done);
    EXPECT_EQ(test::readFile(root + "a/b/3.txt"), "three");

    ASSERT_EQ(::rename((root + "a/b").c_str(), (root + "a/moved").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root + "a/b").c_str()), 0);
    EXPECT_EQ(place("a/b/4.txt", "four"), R::Done);
    EXPECT_EQ(test::readFile(root + "a/moved/4.txt"), "four");
    EXPECT_EQ(place("a/c/5.txt", "five"), R::Done);
    EXPECT_EQ(place("a/b/6.txt", "six"), R::DirectoryFailed);
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));

    ASSERT_EQ(::symlink((outside.path() + "f").c_str(), (root + "a/c/7.txt").c_str()), 0);
    EXPECT_EQ(place("a/c/7.txt", "seven"), R::DirectoryFailed);
    EXPECT_EQ(entries(root + "a/c"), (std::vector<std::string>{"5.txt", "7.txt"}));
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// A second name is made for a regular file only: a link, a FIFO (without blocking) or a
// taken name is refused and nothing is made.
TEST(FileOpsLink, LinksRegularFilesOnlyNeverThroughALink)
{
    test::TempDir dir;
    FileOps& ops = realFileOps();
    test::writeFile(dir.file("f"), "content");
    int error = 0;
    ASSERT_TRUE(ops.linkFile(dir.file("f"), dir.file("g"), &error));
    EXPECT_TRUE(ops.sameFile(dir.file("f"), dir.file("g")));
    EXPECT_FALSE(ops.linkFile(dir.file("f"), dir.file("g"), &error));
    EXPECT_EQ(error, EEXIST);
    std::filesystem::create_symlink(dir.file("f"), dir.file("link"));
    EXPECT_FALSE(ops.linkFile(dir.file("link"), dir.file("h1"), &error));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ops.linkFile(dir.file("fifo"), dir.file("h2"), &error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(std::filesystem::exists(dir.file("h1")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("h2")));
}

} // namespace
} // namespace tw
