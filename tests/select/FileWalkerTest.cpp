#include "select/FileWalker.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

TEST(MaskList, NormalisesAndMatchesNames)
{
    struct Case {
        const char* masks;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"c", "x.c", true},          {"c", "x.cpp", false},     {"html", "html", true},
        {"html", "a.html", false},   {".txt", "a.txt", true},   {"*.*", "README", true},
        {"*.", "README", true},      {"*.txt", "README", false}, {"*.c", "x.c.c", true},
        {"*.TXT", "a.txt", true},    {"a?c.*", "abc.h", true},  {"a?c.*", "ac.h", false},
        {"*.c;*.h", "x.h", true},    {"*.*;~*.o", "x.o", false}, {"~*.o", "x.c", true},
        {"my file.txt", "my file.txt", true}, {";;", "x.c", true}, {"*a*b*c", "xxaxxbxxcxc", true}, {"*a*b*c", "xxaxxbxxcxc.h", false},
        // Short masks without "." or "*" are extensions, longer ones plain names.
        {"?", "a.c", true},          {"?", "a.cc", false},      {"Makefile", "makefile", true},
        {"Makefile", "Makefile.am", false}, {"make*", "Makefile", true}, {"make*", "Makefile.am", true},
        {"*", "README", true},       {"*", "a.b", true},        {"~", "x.c", true},
        {"*.", "a.txt", false},      {"*_*.c", "a_b_c.c", true}, {"a*", "ba", false},
        // Any matching exclusion removes the file, wherever it stands in the list.
        {"~*.o;*.*", "x.o", false},  {"~*.o;*.*", "x.c", true}, {"*.c;~X.*", "x.c", false},
    };
    for (const Case& c : cases) {
        MaskList masks;
        masks.compile(c.masks);
        EXPECT_EQ(masks.matches(c.name), c.match) << c.masks << " vs " << c.name;
    }
}

std::vector<std::string> walk(const std::string& path, const std::string& mask, bool subdirs, WalkStats* stats = nullptr)
{
    FileWalker walker;
    FileList list;
    walker.build(path, mask, subdirs, list);
    if (stats)
        *stats = walker.stats();
    std::vector<std::string> out;
    for (size_t i = 0; i < list.size(); ++i)
        out.emplace_back(list.at(i));
    return out;
}

TEST(FileWalker, ListsFilesBeforeSubdirectoriesInNameOrder)
{
    TempDir d;
    for (const char* f : {"b.txt", "a.txt", "sub/z.txt", "sub/deep/y.txt", "sub2/x.txt", ".svn/h.txt", "c.bin"})
        writeFile(d.file(f), "x");
    const std::string p = d.path();
    WalkStats stats;
    EXPECT_EQ(walk(p, "*.txt", true, &stats),
              (std::vector<std::string>{p + "a.txt", p + "b.txt", p + "sub/z.txt", p + "sub/deep/y.txt", p + "sub2/x.txt"}));
    EXPECT_EQ(stats.files, 5);
    EXPECT_EQ(stats.directories, 4);
    EXPECT_EQ(walk(p, "*.txt", false), (std::vector<std::string>{p + "a.txt", p + "b.txt"}));
}

TEST(FileWalker, SplitsPathTextAndSkipsEmptyPieces)
{
    TempDir a, b;
    writeFile(a.file("1.txt"), "x");
    writeFile(b.file("2.txt"), "x");
    std::string pa = a.path(), pb = b.path();
    pa.pop_back(); // without trailing slash
    EXPECT_EQ(walk(pa + ";;" + pb + ";", "*.txt", false), (std::vector<std::string>{a.file("1.txt"), b.file("2.txt")}));
    EXPECT_TRUE(walk("/no/such/dir;", "*.*", true).empty());
}

TEST(FileWalker, DoesNotFollowLinksDuringTheWalk)
{
    TempDir d, outside;
    writeFile(d.file("real/a.txt"), "x");
    writeFile(outside.file("b.txt"), "x");
    std::filesystem::create_directory_symlink(outside.path(), d.file("linkdir"));
    std::filesystem::create_symlink(outside.file("b.txt"), d.file("link.txt"));
    std::filesystem::create_directory_symlink(d.path(), d.file("real/loop"));
    EXPECT_EQ(walk(d.path(), "*.txt", true), (std::vector<std::string>{d.file("real/a.txt")}));
    // A start path that is a link is followed.
    EXPECT_EQ(walk(d.file("linkdir"), "*.txt", false), (std::vector<std::string>{d.file("linkdir/b.txt")}));
}

TEST(FileWalker, HandlesOddNamesAndLongPaths)
{
    TempDir d;
    std::string deep = d.path();
    for (int i = 0; i < 30; ++i)
        deep += std::string(60, static_cast<char>('a' + i % 26)) + "/";
    const std::string names[] = {"with space.txt", "quote'\"s.txt", "caf\xc3\xa9.txt", "\xff\xfe.txt"};
    for (const std::string& n : names)
        writeFile(deep + n, "x");
    const auto found = walk(d.path(), "*.txt", true);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_GT(found[0].size(), 1800u);
}

TEST(FileWalker, ListsFilesBeyondPathMaxInWalkOrder)
{
    TempDir d;
    // 40 levels of 120 bytes: the deepest directory's path is about 4,900 bytes long.
    const std::string deep = test::makeDeepFile(d.path(), 40, 120, "z.txt", "x");
    ASSERT_FALSE(deep.empty());
    ASSERT_GT(deep.size(), 4096u);
    const std::string dir = deep.substr(0, deep.size() - 5);
    const std::string beside = test::makeDeepFile(d.path(), 40, 120, "a.txt", "x");
    const std::string top = d.file("top.txt");
    writeFile(top, "x");
    WalkStats stats;
    EXPECT_EQ(walk(d.path(), "*.txt", true, &stats), (std::vector<std::string>{top, dir + "a.txt", deep}));
    EXPECT_EQ(stats.directories, 41);
    EXPECT_EQ(stats.files, 3);
}

TEST(FileWalker, ListsNamesWithControlBytes)
{
    TempDir d;
    // In byte order: 0x01 < "\n" < "\r".
    std::vector<std::string> expected;
    for (const char* n : {"a\x01" "b.txt", "a\nb.txt", "a\rb", "a\rb.txt"}) {
        writeFile(d.file(n), "x");
        expected.push_back(d.file(n));
    }
    EXPECT_EQ(walk(d.path(), "*.*", false), expected);
    EXPECT_EQ(walk(d.path(), "a?b.*", false), expected);
}

TEST(FileWalker, StopLeavesTheFilesFoundSoFar)
{
    TempDir d;
    for (int i = 0; i < 10; ++i)
        writeFile(d.file("f" + std::to_string(i) + ".txt"), "x");
    std::atomic<bool> stop{false};
    int entries = 0;
    FileWalker walker;
    walker.setStopFlag(&stop);
    walker.setPump([&] {
        if (++entries == 4)
            stop = true;
    });
    FileList list;
    walker.build(d.path(), "*.*", true, list);
    EXPECT_EQ(list.size(), 3u);
}

} // namespace
} // namespace tw
