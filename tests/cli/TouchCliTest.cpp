// tarnwick-cli "/T": the selected files get the given date and time, unattended.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliResult;
using test::TempDir;
using test::writeFile;

time_t mtimeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mtim.tv_sec;
}

class TouchCli : public test::PrivateDirsTest {
protected:
    void SetUp() override
    {
        PrivateDirsTest::SetUp();
        for (const char* name : {"a.txt", "sub/b.txt", "c.log", "target.dat"}) {
            writeFile(m_tree.file(name), "x");
            const timespec ts[2] = {{kOld, 0}, {kOld, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, m_tree.file(name).c_str(), ts, 0), 0);
        }
        ASSERT_EQ(::chmod(m_tree.file("sub/b.txt").c_str(), 0444), 0);
        ASSERT_EQ(::symlink(m_tree.file("target.dat").c_str(), m_tree.file("link.txt").c_str()), 0);
    }
    CliResult touch(const std::string& value, const std::string& masks)
    {
        // The C locale's pictures: "d MMM yyyy" and "HH:mm:ss"; times in UTC.
        return test::CliProcess({"/T", value, "/P", m_tree.path() + masks, "/d"}, {},
                                {{"LC_ALL", "C"}, {"TZ", "UTC0"}})
            .wait();
    }
    static constexpr time_t kOld = 1000000000;
    static constexpr time_t kGiven = 1625411109; // 4 Jul 2021 15:05:09 UTC
    TempDir m_tree;
};

// The masks and subdirectories decide the files; each touched file is one line, then the
// summary; read-only files are touched and stay read-only; a link's target is not.
TEST_F(TouchCli, SetsTheGivenTimeOnTheSelectedFiles)
{
    const CliResult r = touch("4 Jul 2021 15:05:09", "*.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, m_tree.file("a.txt") + "\n" + m_tree.file("sub/b.txt") + "\nTouched 2 file(s)\n");
    EXPECT_EQ(mtimeOf(m_tree.file("a.txt")), kGiven);
    EXPECT_EQ(mtimeOf(m_tree.file("sub/b.txt")), kGiven);
    struct stat st {};
    ASSERT_EQ(::stat(m_tree.file("sub/b.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(mtimeOf(m_tree.file("c.log")), kOld);
    EXPECT_EQ(mtimeOf(m_tree.file("target.dat")), kOld);

    const CliResult none = touch("4 Jul 2021 15:05:09", "*.none");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_EQ(none.out, "Touched 0 file(s)\n");
}

// A value that is no date and time touches nothing and says what the parser said.
TEST_F(TouchCli, RefusesAnInvalidValue)
{
    for (const auto& [value, message] : std::vector<std::pair<std::string, std::string>>{
             {"31 Feb 2021 15:05:09", "Invalid day"}, {"4 Jul 2021 25:00:00", "Invalid hour"}}) {
        const CliResult r = touch(value, "*.txt");
        EXPECT_EQ(r.status, 2) << value;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(mtimeOf(m_tree.file("a.txt")), kOld);
    }
}

} // namespace
} // namespace tw
