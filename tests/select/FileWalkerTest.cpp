#include "select/DirectoryReadAhead.h"
#include "select/FileWalker.h"

#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>

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
        {"*.c;*.h", "x.h", true},    {"*.*;~*.o", "x.o", false},
        {"my file.txt", "my file.txt", true}, {"*a*b*c", "xxaxxbxxcxc", true}, {"*a*b*c", "xxaxxbxxcxc.h", false},
        // Short masks without "." or "*" are extensions, longer ones plain names.
        {"?", "a.c", true},          {"?", "a.cc", false},      {"Makefile", "makefile", true},
        {"Makefile", "Makefile.am", false}, {"make*", "Makefile", true}, {"make*", "Makefile.am", true},
        {"*", "README", true},       {"*", "a.b", true},
        {"*.", "a.txt", false},      {"*_*.c", "a_b_c.c", true}, {"a*", "ba", false},
        // The last matching mask decides; an exclusion before every inclusion does nothing.
        {"*.c;~test*.c", "test1.c", false}, {"*.c;~test*.c", "main.c", true},
        {"~test*.c;*.c", "test1.c", true},  {"*.*;~*.bak;*.bak", "x.bak", true},
        {"~*.o;*.*", "x.o", true},   {"*.c;~X.*", "x.c", false},
        // No masks, or exclusions only, select nothing.
        {";;", "x.c", false},        {"~", "x.c", false},       {"~*.o", "x.c", false},
        {"~*.o;~*.a", "x.c", false}, {"", "x.c", false},
    };
    for (const Case& c : cases) {
        MaskList masks;
        masks.compile(c.masks);
        EXPECT_EQ(masks.matches(c.name), c.match) << c.masks << " vs " << c.name;
    }
}

TEST(MaskList, SplitsMasksIntoDirectoryAndFileParts)
{
    struct Case {
        const char* mask;
        const char* file;
        bool hasDir;
        const char* dir;
        bool anyLevels, subdirs;
    };
    const Case cases[] = {
        {"*.c", "*.c", false, "", false, false},
        {"\\lib\\*.c", "*.c", true, "/lib/", false, false},
        {"lib\\*.h", "*.h", true, "/lib/", false, false},
        {"lib/*.h", "*.h", true, "/lib/", false, false},
        {"\\*\\lib\\*\\*.c", "*.c", true, "/lib/", true, true},
        {"/*/lib/*.c", "*.c", true, "/lib/", true, false},
        {"\\lib\\*\\*.c", "*.c", true, "/lib/", false, true},
        {"\\a\\b/", "*.*", true, "/a/b/", false, false},
        {"\\", "*.*", true, "/", false, false},
        {"\\x.c", "x.c", true, "/", false, false},
        {"\\*\\*.c", "*.c", true, "/", true, false},
    };
    for (const Case& c : cases) {
        const MaskParts p = splitMask(c.mask);
        EXPECT_EQ(p.filePart, c.file) << c.mask;
        EXPECT_EQ(p.hasDirectory, c.hasDir) << c.mask;
        if (c.hasDir) {
            EXPECT_EQ(p.directory, c.dir) << c.mask;
        }
        EXPECT_EQ(p.anyLevels, c.anyLevels) << c.mask;
        EXPECT_EQ(p.subdirectories, c.subdirs) << c.mask;
    }
}

TEST(MaskList, DirectoryPartsMatchRelativeToTheStart)
{
    struct Case {
        const char* masks;
        const char* path; // below the start directory
        bool match;
    };
    const Case cases[] = {
        // Exactly the start directory's "lib".
        {"\\lib\\*.c", "lib/x.c", true},      {"\\lib\\*.c", "x.c", false},
        {"\\lib\\*.c", "a/lib/x.c", false},   {"\\lib\\*.c", "lib/u/x.c", false},
        {"\\lib\\*.c", "LIB/x.C", true},      {"\\lib\\*.c", "lib/x.h", false},
        {"lib\\*.h", "lib/x.h", true},          {"lib/*.h", "lib/x.h", true}, {"lib/*.h", "a/lib/x.h", false},
        // Any depth.
        {"\\*\\lib\\*.c", "lib/x.c", true}, {"\\*\\lib\\*.c", "a/b/lib/x.c", true},
        {"\\*\\lib\\*.c", "a/lib/b/x.c", false}, {"\\*\\lib\\*.c", "a/xlib/x.c", false},
        {"\\*\\lib\\*.c", "a/lib/lib/x.c", true},
        // The directory and everything below it.
        {"\\lib\\*\\*.c", "lib/x.c", true}, {"\\lib\\*\\*.c", "lib/a/b/x.c", true},
        {"\\lib\\*\\*.c", "a/lib/x.c", false}, {"\\lib\\*\\*.c", "library/x.c", false},
        // Both: in or below any "lib".
        {"\\*\\lib\\*\\*.c", "a/lib/b/x.c", true}, {"\\*\\lib\\*\\*.c", "lib/x.c", true},
        {"\\*\\lib\\*\\*.c", "a/b/x.c", false},
        // A single separator is the start directory itself; "\*\" any directory.
        {"\\*.c", "x.c", true},                 {"\\*.c", "a/x.c", false},
        {"\\*\\*.c", "a/b/x.c", true},        {"\\*\\*.c", "x.c", true},
        // Wildcards in the directory pattern.
        {"\\l?b\\*.c", "lob/x.c", true},      {"\\src*\\*.c", "src2/x.c", true},
        // Directory parts obey the same last-match rule.
        {"*.*;~\\*\\obj\\*\\*.*", "a/obj/d/x.o", false}, {"*.*;~\\*\\obj\\*\\*.*", "a/x.o", true},
        {"~\\obj\\*\\*.*;*.*", "obj/x.o", true}, {"*.c;~\\test\\*.c;\\test\\keep.c", "test/keep.c", true},
    };
    for (const Case& c : cases) {
        MaskList masks;
        masks.compile(c.masks);
        EXPECT_EQ(masks.matches(c.path), c.match) << c.masks << " vs " << c.path;
        // As the walk asks, with the name's length known.
        const std::string_view path = c.path;
        const size_t slash = path.rfind('/');
        const size_t nameSize = slash == std::string_view::npos ? path.size() : path.size() - slash - 1;
        EXPECT_EQ(masks.matches(path, nameSize), c.match) << c.masks << " vs " << c.path;
    }
}

TEST(MaskList, HostileMasksStayClearAndBounded)
{
    // 5,000 characters of wildcards and separators, against long names and deep paths.
    std::string stars(5000, '*');
    std::string starDirs;
    while (starDirs.size() < 5000)
        starDirs += "*\\";
    std::string mixed;
    while (mixed.size() < 5000)
        mixed += "*?";
    const std::string deep = std::string(3000, 'a') + "/" + std::string(3000, 'b') + "/" + std::string(200, 'c') + ".c";
    const struct {
        std::string masks;
        std::string path;
        bool match;
    } cases[] = {
        {stars, "x.c", true},
        {stars, deep, true},
        // Each "*\\" between separators needs a directory level of its own.
        {"\\" + starDirs + "*.c", deep, false},
        {"\\*\\" + stars + "\\*\\" + stars, deep, true},
        {"\\" + starDirs + "*.c", "x.c", false},
        {"\\" + mixed + "\\" + mixed + "b", deep, false},
        {mixed + "b", std::string(6000, 'a'), false},
        {std::string(5000, ';'), "x.c", false},
        {std::string(5000, '~'), "x.c", false},
        {"~" + stars, "x.c", false},
    };
    for (const auto& c : cases) {
        MaskList masks;
        masks.compile(c.masks);
        EXPECT_EQ(masks.matches(c.path), c.match) << c.masks.substr(0, 20) << " vs " << c.path.substr(0, 20);
        (void)masks.mayIncludeBelow(deep.substr(0, deep.rfind('/') + 1));
    }
}

TEST(MaskList, PrunesOnlyDirectoriesWithNothingToInclude)
{
    struct Case {
        const char* masks;
        const char* dir;
        bool enter;
    };
    const Case cases[] = {
        {"*.c", "a/b/", true},
        {"~*.c", "a/", false},
        {"\\lib\\*.c", "lib/", true},         {"\\lib\\*.c", "src/", false},
        {"\\lib\\util\\*.c", "lib/", true}, {"\\lib\\*.c", "lib/util/", true}, // kept: cheap to enter
        {"\\lib\\*\\*.c", "lib/u/v/", true}, {"\\LIB\\*\\*.c", "lib/", true},
        {"\\*\\lib\\*.c", "src/", true},
        {"\\l*\\*.c", "lx/", true},           {"\\l*\\*.c", "src/", false},
        {"*.*;~\\*\\obj\\*\\*.*", "a/obj/", false}, {"*.*;~\\*\\obj\\*\\*.*", "a/", true},
        {"*.*;~\\obj\\*\\*.*;*.keep", "obj/", true}, {"*.*;~\\obj\\*\\*.c", "obj/", true},
        {"~\\obj\\*\\*.*;*.*", "obj/", true},
    };
    for (const Case& c : cases) {
        MaskList masks;
        masks.compile(c.masks);
        EXPECT_EQ(masks.mayIncludeBelow(c.dir), c.enter) << c.masks << " at " << c.dir;
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

TEST(FileWalker, DirectoryMasksSelectTheSameFilesWithPruning)
{
    TempDir d;
    for (const char* f : {"a.c", "lib/b.c", "lib/u/c.c", "src/lib/d.c", "src/obj/e.c", "obj/f.o", "src/g.h"})
        writeFile(d.file(f), "x");
    const std::string p = d.path();
    using V = std::vector<std::string>;
    EXPECT_EQ(walk(p, "lib\\*.c", true), (V{p + "lib/b.c"}));
    EXPECT_EQ(walk(p, "\\*\\lib\\*.c", true), (V{p + "lib/b.c", p + "src/lib/d.c"}));
    EXPECT_EQ(walk(p, "/lib/*/*.c", true), (V{p + "lib/b.c", p + "lib/u/c.c"}));
    EXPECT_EQ(walk(p, "*.*;~\\*\\obj\\*\\*.*", true),
              (V{p + "a.c", p + "lib/b.c", p + "lib/u/c.c", p + "src/g.h", p + "src/lib/d.c"}));
    // Only exclusions: nothing, and no directory below the start is entered.
    WalkStats stats;
    EXPECT_TRUE(walk(p, "~*.o", true, &stats).empty());
    EXPECT_EQ(stats.directories, 1);
}

TEST(FileWalker, ASecondSelectionInTheSameWalkEqualsAWalkOfItsOwn)
{
    // Each selection prunes differently; one walk must give both lists exactly as two
    // walks would, whichever of them a directory was entered for.
    TempDir d;
    for (const char* f : {"a.c", "a.zip", "lib/b.c", "lib/z.zip", "lib/u/c.c", "obj/o.zip", "obj/f.o", "src/lib/d.c",
                          "src/obj/e.zip", ".hid/h.zip", "src/g.h"})
        writeFile(d.file(f), "x");
    const std::string p = d.path();
    const char* masks[] = {"*.c", "lib\\*.c", "*.*;~\\*\\obj\\*\\*.*", "~*.o", "*.zip", "\\*\\obj\\*.zip"};
    auto listOf = [](const FileList& l) {
        std::vector<std::string> v;
        for (size_t i = 0; i < l.size(); ++i)
            v.emplace_back(l.at(i));
        return v;
    };
    for (const char* first : masks)
        for (const char* second : masks)
            for (const bool subdirs : {true, false}) {
                FileWalker walker;
                FileList one, two;
                walker.setSecondSelection(second, &two);
                walker.build(p, first, subdirs, one);
                EXPECT_EQ(listOf(one), walk(p, first, subdirs)) << first << " / " << second;
                EXPECT_EQ(listOf(two), walk(p, second, subdirs)) << first << " / " << second;
            }
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

// Counts how often each directory is listed; the lists come from the real file system.
class CountingFs final : public test::ScratchWrappingFs {
public:
    bool listDirectory(const std::string& p, std::vector<DirEntry>* o) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++listed[p];
        }
        return ScratchWrappingFs::listDirectory(p, o);
    }
    std::mutex mutex;
    std::map<std::string, int> listed;

private:
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override { return inner; }
};

// Directories listed ahead on other threads give the walk exactly what it would have
// listed itself, whatever the helpers reach first, and none is listed twice.
TEST(FileWalker, ReadingAheadGivesTheSameWalk)
{
    TempDir d;
    std::mt19937 rng(8);
    std::vector<std::string> dirs{""};
    for (int i = 0; i < 120; ++i) {
        std::string dir = dirs[rng() % dirs.size()] + (i % 5 == 0 ? "lib" : "d" + std::to_string(i)) + "/";
        dirs.push_back(dir);
        for (int f = static_cast<int>(rng() % 4); f > 0; --f)
            writeFile(d.file(dir + "f" + std::to_string(rng() % 9) + (rng() % 2 ? ".c" : ".h")), "x");
    }
    for (const char* mask : {"*.*", "*.c", "lib\\*.c", "~*.h"})
        for (const size_t helpers : {size_t{1}, size_t{4}})
            for (int round = 0; round < 3; ++round) {
                CountingFs fs;
                FileList list;
                {
                    DirectoryReadAhead ahead(fs, helpers);
                    FileWalker walker(fs);
                    walker.setReadAhead(&ahead);
                    walker.build(d.path(), mask, true, list);
                }
                std::vector<std::string> got;
                for (size_t i = 0; i < list.size(); ++i)
                    got.emplace_back(list.at(i));
                EXPECT_EQ(got, walk(d.path(), mask, true)) << mask << " with " << helpers << " helpers";
                for (const auto& [dir, times] : fs.listed)
                    EXPECT_EQ(times, 1) << dir;
            }
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
