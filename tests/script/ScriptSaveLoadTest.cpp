#include "script/ScriptFile.h"

#include "ScriptTestSupport.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::describe;

Script sampleScript()
{
    Script s;
    s.description = "sample";
    s.pairs.push_back(test::makePair("old", "new"));
    s.paths.push_back({"/src/", "*.c"});
    return s;
}

uint32_t modeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

size_t entriesIn(const std::string& dir)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

std::string writeFailure(const std::string& path, int error)
{
    return "Cannot write script file\n" + path + "\n" + std::strerror(error);
}

TEST(SaveScript, ReplacesTheFileKeepingItsModeAndLoadsBack)
{
    test::TempDir dir;
    const std::string path = dir.file("s.tws");
    test::writeFile(path, "old content");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Script s = sampleScript();
    EXPECT_EQ(saveScript(s, path, {}), "");
    EXPECT_EQ(s.filePath, path);
    EXPECT_EQ(test::readFile(path), formatScript(s, {}));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1u); // no temporary file left
    Script loaded;
    const ScriptLoadResult r = loadScript(loaded, path, {});
    EXPECT_TRUE(r.read);
    EXPECT_EQ(describe(loaded), describe(s));
    EXPECT_EQ(loaded.filePath, path);
}

TEST(SaveScript, NewFileGetsTheUsualMode)
{
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    ::umask(mask);
    Script s = sampleScript();
    EXPECT_EQ(saveScript(s, dir.file("new.tws"), {}), "");
    EXPECT_EQ(modeOf(dir.file("new.tws")), 0644u & ~uint32_t(mask));
}

TEST(SaveScript, RefusalsLeaveEverythingAsItWas)
{
    test::TempDir dir;
    test::writeFile(dir.file("file"), "a file");
    test::writeFile(dir.file("target"), "linked");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link.tws").c_str()), 0);
    fs::create_directory(dir.file("sub.tws"));
    Script s = sampleScript();
    struct Case {
        std::string path;
        int error;
    } cases[] = {
        {dir.file("file/s.tws"), ENOTDIR},  // the directory is a file
        {dir.file("sub.tws"), EISDIR},      // the name is a directory
        {dir.file("link.tws"), ELOOP},      // a link is neither followed nor replaced
        {dir.file("missing/s.tws"), ENOENT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(saveScript(s, c.path, {}), writeFailure(c.path, c.error));
        EXPECT_EQ(s.filePath, "");
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("link.tws")));
    EXPECT_EQ(test::readFile(dir.file("target")), "linked");
    EXPECT_TRUE(fs::is_directory(dir.file("sub.tws")));
    EXPECT_EQ(entriesIn(dir.path()), 4u);

    Script empty;
    empty.description = "nothing else";
    EXPECT_EQ(saveScript(empty, dir.file("e.tws"), {}), "Cannot save empty script file.");
    EXPECT_FALSE(fs::exists(dir.file("e.tws")));
}

// A write that fails half-way (the file size limit, which holds for root too) leaves the
// old file whole and no temporary file.
TEST(SaveScript, FailedWriteKeepsTheOldFile)
{
    test::TempDir dir;
    const std::string path = dir.file("s.tws");
    test::writeFile(path, "old content");
    Script s = sampleScript();
    s.description = std::string(100000, 'd');
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = saveScript(s, path, {});
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, writeFailure(path, EFBIG));
    EXPECT_EQ(test::readFile(path), "old content");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(s.filePath, "");
}

TEST(LoadScript, UnreadableFilesResetTheScript)
{
    test::TempDir dir;
    const std::string fifo = dir.file("fifo.tws");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.file("big.tws");
    test::writeFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), off_t(kMaxScriptFileSize) + 1), 0); // sparse
    fs::create_directory(dir.file("dir.tws"));
    for (const std::string& path : {fifo, big, dir.file("dir.tws"), dir.file("missing.tws")}) {
        Script s = sampleScript();
        s.filePath = "/before.tws";
        ScriptLoadResult r;
        EXPECT_TRUE(test::returnsWithin(10, fifo, [&] { r = loadScript(s, path, {}); })) << path;
        EXPECT_FALSE(r.read);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.messages[0], "Cannot read script file\n" + path);
        EXPECT_TRUE(s.empty());
        EXPECT_EQ(s.filePath, "");
    }
}

TEST(LoadScript, EmptyPathResetsDescriptionAndOptionsOnly)
{
    Script s = sampleScript();
    s.options = ProgramOptions();
    s.expression = "E1";
    const ScriptLoadResult r = loadScript(s, "", {});
    EXPECT_TRUE(r.read);
    EXPECT_EQ(describe(s), "D[] X[E1] {|old|new} </src/|*.c>");
    EXPECT_FALSE(s.options);
}

} // namespace
} // namespace tw
