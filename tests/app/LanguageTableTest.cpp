// The language file replaces texts by identifier; a hostile or foreign file never breaks a
// text, it only leaves it in its built-in form.
#include "app/LanguageTable.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace tw {
namespace {

constexpr std::string_view kVersion = "0.1.0.0";

TEST(LanguageTable, LinesReplaceTextsOrFallBackOneByOne)
{
    const std::string search = LanguageTable::builtIn(kCmdSearch);
    const std::string path = LanguageTable::builtIn(kTextSelectPath);
    using S = LanguageTable::Status;
    const struct {
        const char* name;
        std::string content;
        S status;
        std::string searchText, pathText;
    } cases[] = {
        {"two texts", "version=0.1.0.0\n40004\t&Suchen\\tStrg+F\n3016\tPfad w\xC3\xA4hlen\n", S::Loaded,
         "&Suchen\tStrg+F", "Pfad w\xC3\xA4hlen"},
        {"CR LF and a byte-order mark", "\xEF\xBB\xBFversion=0.1.0.0\r\n40004\tA\r\n3016\tB\r\n", S::Loaded, "A", "B"},
        {"the same version written otherwise", "version=0.01.00.0\n40004\tA\n", S::Loaded, "A", path},
        {"another version", "version=0.2.0.0\n40004\tA\n3016\tB\n", S::VersionMismatch, search, path},
        // Only two versions that can both be read are compared.
        {"a version that cannot be read", "version=beta\n40004\tA\n", S::Loaded, "A", path},
        {"no version line", "40004\tA\n", S::Loaded, "A", path},
        {"empty file", "", S::Loaded, search, path},
        {"comments and empty lines", "version=0.1.0.0\n# menu\n\n40004\tA\n", S::Loaded, "A", path},
        {"missing tab", "40004 A\n3016\tB\n", S::Loaded, search, "B"},
        {"unknown identifier", "12345\tA\n3016\tB\n", S::Loaded, search, "B"},
        {"identifier with a sign", "+40004\tA\n", S::Loaded, search, path},
        {"identifier with a blank", " 40004\tA\n", S::Loaded, search, path},
        {"identifier too long", "4000400004\tA\n", S::Loaded, search, path},
        {"no identifier", "\tA\n", S::Loaded, search, path},
        {"repeated identifier keeps the first", "40004\tA\n40004\tB\n", S::Loaded, "A", path},
        {"empty text", "40004\t\n", S::Loaded, search, path},
        {"not UTF-8", "40004\t\xFF\xFE" "A\n3016\tB\n", S::Loaded, search, "B"},
        {"Latin-1 text", "40004\tW\xE4hlen\n", S::Loaded, search, path},
        {"overlong form", "40004\t\xC0\xAF\n", S::Loaded, search, path},
        {"surrogate", "40004\t\xED\xA0\x80\n", S::Loaded, search, path},
        {"truncated in a character", "3016\tB\n40004\tA\xC3", S::Loaded, search, "B"},
        {"truncated without a line end", "3016\tB\n40004\tA", S::Loaded, "A", "B"},
        {"control character", "40004\tA\x01" "B\n", S::Loaded, search, path},
        {"NUL byte", std::string("40004\tA\0B\n", 10), S::Loaded, search, path},
        {"line too long", "40004\t" + std::string(5000, 'x') + "\n3016\tB\n", S::Loaded, search, "B"},
        {"escapes", "40004\ta\\\\n\\nb\\q\\\n", S::Loaded, "a\\n\nb\\q\\", path},
    };
    for (const auto& c : cases) {
        LanguageTable table;
        const LanguageTable::LoadResult r = table.load(c.content, kVersion);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(table.text(kCmdSearch), c.searchText) << c.name;
        EXPECT_EQ(table.text(kTextSelectPath), c.pathText) << c.name;
        // The mismatch message always comes from the program itself.
        EXPECT_EQ(table.text(kLanguageVersionMismatch).rfind("Language DLL version doesn not match that of the "
                                                             "program.\n", 0),
                  0u)
            << c.name;
    }
}

TEST(LanguageTable, AFileForAnotherVersionOverridesNothingAfterAnEarlierLoad)
{
    LanguageTable table;
    ASSERT_EQ(table.load("40004\tA\n", kVersion).status, LanguageTable::Status::Loaded);
    EXPECT_EQ(table.text(kCmdSearch), "A");
    EXPECT_EQ(table.load("version=9.9.9.9\n40004\tB\n", kVersion).status, LanguageTable::Status::VersionMismatch);
    EXPECT_EQ(table.text(kCmdSearch), LanguageTable::builtIn(kCmdSearch));
    EXPECT_EQ(table.text(99999), "");
}

TEST(LanguageTable, FilesThatAreMissingOrHugeStillGiveEveryText)
{
    test::TempDir dir;
    LanguageTable table;
    EXPECT_EQ(table.loadFile(dir.file(kLanguageFileName), kVersion).status, LanguageTable::Status::BuiltIn);
    EXPECT_EQ(table.text(kCmdSearch), LanguageTable::builtIn(kCmdSearch));

    // The lines within the size limit count; the one cut by the limit does not.
    std::string big = "version=0.1.0.0\n3016\tB\n";
    while (big.size() < kMaxLanguageFileBytes - 3)
        big += "# filler\n";
    big.resize(kMaxLanguageFileBytes - 3);
    big += "\n40004\tA-cut-here\n";
    test::writeFile(dir.file(kLanguageFileName), big);
    const LanguageTable::LoadResult r = table.loadFile(dir.file(kLanguageFileName), kVersion);
    EXPECT_EQ(r.status, LanguageTable::Status::Loaded);
    EXPECT_EQ(table.text(kTextSelectPath), "B");
    EXPECT_EQ(table.text(kCmdSearch), LanguageTable::builtIn(kCmdSearch));
}

// Only a regular file is read: a FIFO would keep the program from starting until someone
// writes to it, and a link or a directory is no language file either.
TEST(LanguageTable, ANameThatIsNoRegularFileIsNeverRead)
{
    test::TempDir dir;
    const std::string file = dir.file(kLanguageFileName);
    test::writeFile(dir.file("real"), "version=0.1.0.0\n40004\tA\n");
    LanguageTable table;
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    LanguageTable::LoadResult r;
    EXPECT_TRUE(test::returnsWithin(10, file, [&] { r = table.loadFile(file, kVersion); }));
    EXPECT_EQ(r.status, LanguageTable::Status::NotAFile);
    for (const bool link : {true, false}) {
        std::filesystem::remove(file);
        if (link)
            std::filesystem::create_symlink(dir.file("real"), file);
        else
            std::filesystem::create_directory(file);
        EXPECT_EQ(table.loadFile(file, kVersion).status, LanguageTable::Status::NotAFile) << link;
        EXPECT_EQ(table.text(kCmdSearch), LanguageTable::builtIn(kCmdSearch));
    }
}

TEST(LanguageTable, TheProgramVersionHasFourParts)
{
    // The version compiled in is what a language file is compared with.
    LanguageTable table;
    const std::string file = "version=" + std::string(programVersion()) + "\n40004\tA\n";
    EXPECT_EQ(table.load(file, programVersion()).status, LanguageTable::Status::Loaded);
    EXPECT_EQ(std::count(programVersion().begin(), programVersion().end(), '.'), 3);
}

} // namespace
} // namespace tw
