// The File Operations dialog's logic: which files the results list gives, the start paths
// of a path text, OK's check, and the request run on a real tree.
#include "app/FileOperationModel.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::vector<std::string> textsOf(const FileOperationModel& m)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < m.fileCount(); ++i)
        out.push_back(m.fileText(i));
    return out;
}

TEST(FileOperationModel, FilesOfTheResultsListEachOnceInListOrder)
{
    const std::vector<ResultEntry> rows = {
        ResultEntry::fileLine("/d/a.txt"),
        ResultEntry::count("Found 2 occurrences.", "/d/a.txt"),
        ResultEntry::fileLine("m/x.txt", "/d/z.zip"),
        ResultEntry::fileLine("m/x.txt", "/d/y.zip"),
        ResultEntry::fileLine("/d/b\x1b.txt"),
        ResultEntry::error("Error reading file c.txt", "/d/c.txt"),
        ResultEntry::summary("Searched 3 file(s), found 2 occurrences in 2 file(s)"),
    };
    const struct {
        std::vector<size_t> selected;
        std::vector<std::string> shown;
    } cases[] = {
        {{}, {"/d/a.txt", "/d/z.zip | m/x.txt", "/d/y.zip | m/x.txt", "/d/b?.txt"}},
        {{4, 1, 0, 5, 6, 99}, {"/d/a.txt", "/d/b?.txt"}},
        {{1}, {"/d/a.txt"}},
        {{5, 6}, {}},
    };
    for (const auto& c : cases) {
        FileOperationModel m(FileOperationModel::filesOfRows(rows, c.selected), {}, FileOperationKind::Copy);
        EXPECT_EQ(textsOf(m), c.shown);
    }
}

TEST(FileOperationModel, OkNeedsADestinationOnlyToCopyOrMove)
{
    FileOperationModel m({{"/d/a", {}}}, {}, FileOperationKind::Delete);
    EXPECT_EQ(m.check(), FileOperationModel::OkCheck::Accept);
    for (auto kind : {FileOperationKind::Copy, FileOperationKind::Move}) {
        m.setOperation(kind);
        m.setDestination("");
        EXPECT_EQ(m.check(), FileOperationModel::OkCheck::PathNotFound);
        m.setDestination("/out");
        EXPECT_EQ(m.check(), FileOperationModel::OkCheck::Accept);
        EXPECT_EQ(m.chooserStart(), "/out/");
    }
}

TEST(FileOperationModel, StartPathsAreCanonicalSoPreserveFindsFilesUnderThem)
{
    TempDir dir, out;
    writeFile(dir.file("data/a/b.txt"), "bee");
    writeFile(dir.file("data/c.txt"), "sea");
    std::filesystem::create_directories(dir.file("data/e"));
    ASSERT_EQ(::symlink(dir.file("data").c_str(), dir.file("ln").c_str()), 0);
    const auto starts = FileOperationModel::startPathsOf(";" + dir.file("ln") + ";;" + dir.file("data/e/.."));
    EXPECT_EQ(starts, (std::vector<std::string>{dir.file("data/"), dir.file("data/")}));

    FileOperationModel m({{dir.file("data/a/b.txt"), {}}, {dir.file("data/c.txt"), {}}}, starts,
                         FileOperationKind::Copy);
    m.setDestination(out.path());
    m.setSelected(1, false);
    const FileOperationSummary s = runFileOperation(realFileSystem(), realFileOps(), m.request(""), {});
    EXPECT_EQ(s.done, 1u);
    EXPECT_EQ(readFile(out.file("a/b.txt")), "bee");
    EXPECT_FALSE(std::filesystem::exists(out.file("c.txt")));
}

} // namespace
} // namespace tw
