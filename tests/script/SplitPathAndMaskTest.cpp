#include "script/ScriptFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tw {
namespace {

// A directory tree under the temporary directory, removed afterwards.
class TempTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        m_root = fs::temp_directory_path() / ("tw_cmdline_" + std::to_string(::getpid()));
        fs::create_directories(m_root / "cur" / "sub" / "deeper");
        fs::create_directories(m_root / "rel.2");
        fs::create_directories(m_root / "cur" / "**" / "a?b");
        m_root = fs::canonical(m_root);
        m_cur = (m_root / "cur").string() + "/";
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    std::filesystem::path m_root;
    std::string m_cur; // current directory for the tests, ends in "/"
};

struct SplitCase {
    const char* name;
    const char* text;   // "@" stands for the test's current directory, "#" for its root
    const char* path;
    const char* mask;
};

class SplitPathAndMaskTest : public TempTree, public ::testing::WithParamInterface<SplitCase> {};

std::string substitute(std::string s, const std::string& cur, const std::string& root)
{
    for (size_t i; (i = s.find('@')) != std::string::npos;)
        s.replace(i, 1, cur);
    for (size_t i; (i = s.find('#')) != std::string::npos;)
        s.replace(i, 1, root);
    return s;
}

TEST_P(SplitPathAndMaskTest, Splits)
{
    const SplitCase& c = GetParam();
    const std::string root = m_root.string() + "/";
    std::string path, mask;
    SplitPathAndMask(substitute(c.text, m_cur, root), &path, &mask, m_cur);
    EXPECT_EQ(path, substitute(c.path, m_cur, root)) << c.text;
    EXPECT_EQ(mask, c.mask) << c.text;
}

const SplitCase kSplitCases[] = {
    {"Absolute", "/src/*.c", "/src/", "*.c"},
    {"AbsoluteSeveralMasks", "/src/*.c;*.h", "/src/", "*.c;*.h"},
    {"MaskOnly", "*.txt", "@", "*.txt"},
    {"NameOnly", "readme", "@", "readme"},
    {"MaskListWithoutPath", "*.c;/x/*.h", "@", "*.c;/x/*.h"},
    {"PathOnlyKeepsTrailingSlash", "/src/", "/src/", ""},
    {"Root", "/", "/", ""},
    {"LastDotSplitsBeforeName", "/home/u/file.txt", "/home/u/", "file.txt"},
    {"DotInDirectoryMisleads", "/rel.2/readme", "/", "rel.2/readme"},
    {"SemicolonSplitsFirst", "/rel.2/;readme", "/rel.2/", "readme"},
    {"RelativeExisting", "sub/*.c", "@sub/", "*.c"},
    {"RelativeExistingCanonical", "sub/../sub/deeper/*.c", "@sub/deeper/", "*.c"},
    {"RelativeParent", "../rel.2/;x", "#rel.2/", "x"},
    {"RelativeMissing", "nothere/*.c", "", "*.c"},
    {"QuestionMark", "/a/b?.c", "/a/", "b?.c"},
    // Directories that exist are directories, whatever their names look like.
    {"ExistingDirectoryWithDot", "#rel.2/readme", "#rel.2/", "readme"},
    {"ExistingDirectoriesNamedLikeMasks", "@**/a?b/*.c", "@**/a?b/", "*.c"},
    {"RelativeDirectoryNamedLikeAMask", "**/*.c", "@**/", "*.c"},
    {"MissingDirectoryPartStaysInTheMask", "@**/*/*.c", "@", "**/*/*.c"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SplitPathAndMaskTest, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SplitPathAndMask, HomeIsExpanded)
{
    const char* home = std::getenv("HOME");
    if (!home || std::string(home).empty() || std::string(home) == "/")
        GTEST_SKIP() << "no home directory";
    std::string path, mask;
    SplitPathAndMask("~/docs/*.md", &path, &mask, "/unused/");
    std::string h = home;
    if (h.back() == '/')
        h.pop_back();
    EXPECT_EQ(path, h + "/docs/");
    EXPECT_EQ(mask, "*.md");
}

TEST(SplitPathAndMask, OutputMayAliasInput)
{
    std::string text = "/src/*.c";
    std::string mask;
    SplitPathAndMask(text, &text, &mask, "/cur/");
    EXPECT_EQ(text, "/src/");
    EXPECT_EQ(mask, "*.c");
}

TEST(SplitPathAndMask, CurrentDirectoryGetsTrailingSlash)
{
    std::string path, mask;
    SplitPathAndMask("*.c", &path, &mask, "/cur");
    EXPECT_EQ(path, "/cur/");
}

} // namespace
} // namespace tw
