#include "results/ResultsList.h"

#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace tw {
namespace {

TEST(outputForm, ReplacesMarkers)
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
        EXPECT_EQ(outputForm(c.in, "[", "]"), c.out);
}

// Control bytes of a name shown as "?", against a byte-by-byte reference: names of every
// length around the eight-byte words the scan reads, with bytes on either side of the
// control range (0x1F/0x20, 0x7E/0x7F/0x80) at every place.
TEST(ResultEntry, DisplayNameReplacesExactlyTheControlBytes)
{
    const char bytes[] = {'a', '\x00', '\x1F', ' ', '~', '\x7F', '\x80', '\xFF', '\xA0', '\x01'};
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        std::string name(rng() % 40, 'a');
        for (size_t k = rng() % 3; k > 0 && !name.empty(); --k)
            name[rng() % name.size()] = bytes[rng() % 10];
        if (rng() % 4 == 0)
            for (char& c : name)
                c = bytes[rng() % 10];
        std::string expected = "x:";
        for (const char c : name)
            expected += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
        std::string out = "x:";
        appendDisplayName(out, name);
        ASSERT_EQ(out, expected) << "round " << round;
    }
}

// A listing line written over any other line is the line made afresh, every field of it.
TEST(ResultEntry, AListingLineWrittenOverAnotherIsTheFreshOne)
{
    ResultEntry hit{"Line   3 - \x01\x02x\x01\x03", 1};
    hit.kind = LineKind::Hit;
    hit.path = "/d/old/path/that/is/long.txt";
    hit.archivePath = "/d/a.zip";
    hit.binary = true;
    hit.lineNumber = 3;
    hit.fileOffset = 40;
    hit.hitColumn = 0;
    for (ResultEntry reused : {hit, ResultEntry::summary("Found 1"), ResultEntry::listedFile("/x"),
                               ResultEntry::listedFile("/d/a/much/longer/path.txt", "/d/a.zip"),
                               ResultEntry::fileLine("/d/c.txt", "/d/a.zip"), ResultEntry{"Processing file", 0}}) {
        reused.setListedFile("/d/b.txt");
        const ResultEntry fresh = ResultEntry::listedFile("/d/b.txt");
        EXPECT_EQ(reused.text, fresh.text);
        EXPECT_EQ(reused.path, fresh.path);
        EXPECT_EQ(reused.archivePath, fresh.archivePath);
        EXPECT_EQ(reused.kind, fresh.kind);
        EXPECT_EQ(reused.hitLength, fresh.hitLength);
        EXPECT_EQ(reused.binary, fresh.binary);
        EXPECT_EQ(reused.lineNumber, fresh.lineNumber);
        EXPECT_EQ(reused.fileOffset, fresh.fileOffset);
        EXPECT_EQ(reused.hitColumn, fresh.hitColumn);
    }
}

size_t tempFilesWithPrefix(const std::string& prefix)
{
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        n += e.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

// A file system whose scratch files fail every write once `budget` bytes went through.
class ShortScratchFs final : public test::ScratchWrappingFs {
public:
    explicit ShortScratchFs(int64_t budget) : m_budget(budget) {}

private:
    struct Short final : test::ForwardingFile {
        Short(std::unique_ptr<File> f, int64_t b) : ForwardingFile(std::move(f)), budget(b) {}
        bool write(const void* d, size_t n) override
        {
            if (static_cast<int64_t>(n) > budget)
                return false;
            budget -= static_cast<int64_t>(n);
            return ForwardingFile::write(d, n);
        }
        int64_t budget;
    };
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override
    {
        return std::make_unique<Short>(std::move(inner), m_budget);
    }
    int64_t m_budget;
};

TEST(ResultsList, HeldBackLinesFarBeyondOneChunkComeBackExactlyOrTheLossIsReported)
{
    // Lines of varied lengths (some longer than a spill chunk) spill to the store several
    // times over; flushing must deliver every one in order. A store that cannot take them
    // must say so instead of dropping lines silently.
    for (const int64_t budget : {int64_t{1} << 40, int64_t{300000}}) {
        SCOPED_TRACE(budget);
        ShortScratchFs fs(budget);
        MemoryResultsView view;
        ResultsList list(fs);
        list.setView(&view);
        ASSERT_TRUE(list.beginHoldBack());
        std::vector<std::string> sent;
        for (int i = 0; i < 30000; ++i) {
            std::string text = "Line " + std::to_string(i) + " - " + std::string(static_cast<size_t>(i * 7919 % 300), 'x');
            if (i % 10000 == 5)
                text += std::string(400000, 'L');
            sent.push_back(text);
            list.addLine(ResultEntry{text, i % 50});
        }
        list.flushHeldBack();
        if (budget > 300000) {
            ASSERT_EQ(view.lines.size(), sent.size());
            for (size_t i = 0; i < sent.size(); ++i) {
                ASSERT_EQ(view.lines[i].text, sent[i]) << i;
                ASSERT_EQ(view.lines[i].hitLength, static_cast<int>(i % 50)) << i;
            }
        } else {
            ASSERT_FALSE(view.lines.empty());
            EXPECT_LT(view.lines.size(), sent.size() + 1);
            EXPECT_EQ(view.lines.back().text, kHeldBackLost);
            for (size_t i = 0; i + 1 < view.lines.size(); ++i)
                EXPECT_EQ(view.lines[i].text.rfind("Line ", 0), 0u) << "only whole lines come back";
        }
        list.endHoldBack();
    }
}

TEST(ResultsList, HoldsLinesBackUntilFlushedOrDiscarded)
{
    test::TempDir dir;
    test::ScopedTmpDir tmp;
    MemoryResultsView view;
    ResultsList list;
    list.setView(&view);
    const std::string outPath = dir.file("out.txt");
    auto out = realFileSystem().openWrite(outPath, true, true);
    list.setOutputFile(out.get());
    const size_t tempsBefore = tempFilesWithPrefix("TW");
    ASSERT_TRUE(list.beginHoldBack());
    // The store has no name, so nothing can be left behind when the program is killed.
    EXPECT_EQ(tempFilesWithPrefix("TW"), tempsBefore);

    list.setPendingFile("/d/a.txt");
    list.addResultLines(ResultEntry{"Line   1 - \x01\x02hit\x01\x03", 3});
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(list.heldBack().count(), 2u);
    EXPECT_EQ(heldBackText(list.heldBack(), "<", ">"), "Processing file : /d/a.txt\nLine   1 - <hit>\n");
    list.flushHeldBack();
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[1].hitLength, 3);

    list.setPendingFile("/d/b.txt");
    list.addResultLines(ResultEntry{"dropped", 0});
    list.discardHeldBack();
    list.addLine(ResultEntry{std::string(100000, 'x'), 0});
    list.endHoldBack();
    EXPECT_EQ(tempFilesWithPrefix("TW"), tempsBefore);
    ASSERT_EQ(view.lines.size(), 3u);
    EXPECT_EQ(view.lines[2].text.size(), 100000u);
    out.reset();
    const std::string written = test::readFile(outPath);
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
