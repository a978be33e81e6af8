#include "results/ResultsList.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw {
namespace {

TEST(OutputForm, ReplacesMarkers)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"Line   7 - the \x01\x02word\x01\x03 here", "Line   7 - the [word] here"},
        {"Processing file : \x01\x01/dir/a.txt", "Processing file : /dir/a.txt"},
        {"\x01\x01Searched 1 file(s)", "Searched 1 file(s)"},
        {"no begin \x01\x03 marker", "no begin \x01\x03 marker"},
        {"only \x01\x02" "begin", "only [begin"},
        {"two \x01\x02" "a\x01\x03 \x01\x02" "b\x01\x03", "two [a] \x01\x02" "b\x01\x03"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OutputForm(c.in, "[", "]"), c.out);
}

size_t TempFilesWithPrefix(const std::string& prefix)
{
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        n += e.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

TEST(ResultsList, HoldsLinesBackUntilFlushedOrDiscarded)
{
    test::TempDir dir;
    test::ScopedTmpDir tmp;
    MemoryResultsView view;
    ResultsList list;
    list.setView(&view);
    const std::string outPath = dir.file("out.txt");
    auto out = RealFileSystem().openWrite(outPath, true, true);
    list.setOutputFile(out.get());
    const size_t tempsBefore = TempFilesWithPrefix("TW");
    ASSERT_TRUE(list.beginHoldBack());
    // The store has no name, so nothing can be left behind when the program is killed.
    EXPECT_EQ(TempFilesWithPrefix("TW"), tempsBefore);

    list.setPendingFile("/d/a.txt");
    list.addResultLines(ResultEntry{"Line   1 - \x01\x02hit\x01\x03", 3});
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(list.heldBackText(), "Processing file : /d/a.txt\nLine   1 - <hit>\n");
    list.flushHeldBack();
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[1].hitLength, 3);

    list.setPendingFile("/d/b.txt");
    list.addResultLines(ResultEntry{"dropped", 0});
    list.discardHeldBack();
    list.addLine(ResultEntry{std::string(100000, 'x'), 0});
    list.endHoldBack();
    EXPECT_EQ(TempFilesWithPrefix("TW"), tempsBefore);
    ASSERT_EQ(view.lines.size(), 3u);
    EXPECT_EQ(view.lines[2].text.size(), 100000u);
    out.reset();
    const std::string written = test::ReadFile(outPath);
    EXPECT_EQ(written.substr(0, 46), "Processing file : /d/a.txt\r\nLine   1 - <hit>\r\n");
    EXPECT_EQ(written.find("dropped"), std::string::npos);
}

TEST(ResultsList, PendingFileLineComesOnceBeforeTheFirstLine)
{
    MemoryResultsView view;
    ResultsList list;
    list.setView(&view);
    list.setPendingFile("/x/m.txt", "/x/arch.zip");
    list.emitPendingFileLine();
    list.emitPendingFileLine();
    list.addResultLines(ResultEntry{"a", 0});
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[0].text, "Processing file : \x01\x01/x/arch.zip | /x/m.txt");
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST(ResultsList, HeldBackLinesSpillToTheStoreAndComeBackInOrder)
{
    MemoryResultsView view;
    ResultsList list;
    list.setView(&view);
    ASSERT_TRUE(list.beginHoldBack());
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3000; ++i)
            list.addLine(ResultEntry{std::to_string(i) + std::string(200, 'x'), i % 7});
        EXPECT_TRUE(view.lines.empty() || view.lines.size() == 3000u);
        if (round == 0) {
            list.flushHeldBack();
            ASSERT_EQ(view.lines.size(), 3000u);
        } else {
            list.discardHeldBack();
        }
    }
    list.endHoldBack();
    ASSERT_EQ(view.lines.size(), 3000u);
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(view.lines[i].text, std::to_string(i) + std::string(200, 'x'));
        EXPECT_EQ(view.lines[i].hitLength, i % 7);
    }
}

} // namespace
} // namespace tw
