#include "platform/FileSystem.h"
#include "platform/LongPath.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace tw {
namespace {

using test::makeDeepFile;
using test::TempDir;

// Inserts `extra` at byte `at` of `path`, moved forward to just after the next "/".
std::string insertAtSlash(const std::string& path, size_t at, const std::string& extra)
{
    const size_t slash = path.find('/', at);
    return path.substr(0, slash + 1) + extra + path.substr(slash + 1);
}

TEST(LongPath, FileSystemCallsWorkBeyondPathMax)
{
    TempDir d;
    // 80 levels of 120 bytes: about 9,700 bytes, so three groups of components.
    const std::string file = makeDeepFile(d.path(), 80, 120, "deep.txt", "needle\n");
    ASSERT_FALSE(file.empty());
    ASSERT_GT(file.size(), 2u * PATH_MAX);
    const std::string dir = file.substr(0, file.size() - 8);

    // The same file named with redundant slashes, placed so that they fall on either side of
    // where the path is cut into groups.
    const std::string spellings[] = {
        file,
        insertAtSlash(file, PATH_MAX - 200, "/"),
        insertAtSlash(file, PATH_MAX - 2, "//"),
        insertAtSlash(file, 2 * PATH_MAX - 130, "/"),
        insertAtSlash(file, 100, "./"),
    };
    FileSystem& fs = realFileSystem();
    for (const std::string& path : spellings) {
        SCOPED_TRACE(path.size());
        int error = 0;
        auto in = fs.openRead(path, &error);
        ASSERT_TRUE(in) << error;
        char buf[16] = {};
        EXPECT_EQ(in->read(buf, sizeof buf), 7);
        EXPECT_EQ(std::string(buf, 7), "needle\n");
        FileStatus st;
        ASSERT_TRUE(fs.status(path, &st));
        EXPECT_EQ(st.size, 7);
        EXPECT_FALSE(st.isDirectory);
    }

    std::vector<DirEntry> entries;
    ASSERT_TRUE(fs.listDirectory(dir, &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "deep.txt");
    EXPECT_EQ(entries[0].type, EntryType::File);

    // Create, write, remove.
    const std::string other = dir + "new.txt";
    {
        auto out = fs.openWrite(other, true, true);
        ASSERT_TRUE(out);
        EXPECT_TRUE(out->write("abc", 3));
    }
    ASSERT_TRUE(fs.listDirectory(dir, &entries));
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_TRUE(fs.removeFile(other));
    FileStatus st;
    EXPECT_FALSE(fs.status(other, &st));
    EXPECT_FALSE(fs.removeFile(other));
}

TEST(LongPath, FailuresKeepTheSystemError)
{
    TempDir d;
    const std::string file = makeDeepFile(d.path(), 50, 120, "f.txt", "x");
    ASSERT_FALSE(file.empty());
    const size_t mid = file.find('/', PATH_MAX / 2);
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {file + "/below", ENOTDIR},                                           // a file as a directory
        {file.substr(0, mid) + "/missing" + file.substr(mid), ENOENT},        // a missing level early on
        {file.substr(0, file.size() - 5) + "nothing", ENOENT},                // a missing last component
        {d.path() + std::string(PATH_MAX, 'x'), ENAMETOOLONG},                // one component too long
        {"", ENOENT},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(openLongPath(c.path, O_RDONLY | O_CLOEXEC), -1);
        EXPECT_EQ(errno, c.error) << c.path.size();
        struct statx sx {};
        errno = 0;
        EXPECT_EQ(statxLongPath(c.path, 0, STATX_BASIC_STATS, &sx), -1);
        EXPECT_EQ(errno, c.error) << c.path.size();
    }
}

} // namespace
} // namespace tw
