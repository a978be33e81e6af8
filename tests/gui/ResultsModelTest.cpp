#include "core/RunDriver.h"
#include "gui/BatchedResultsView.h"
#include "gui/ResultsExport.h"
#include "gui/ResultsModel.h"
#include "results/HtmlPage.h"
#include "results/ResultsList.h"

#include "TestUtil.h"
#include "core/FakeHost.h"
#include "core/TestArchives.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <random>
#include <thread>

namespace tw {
namespace {

ResultEntry hitLine(const std::string& marked, long line, const std::string& path)
{
    ResultEntry e;
    e.text = marked;
    e.kind = LineKind::Hit;
    e.lineNumber = line;
    e.path = path;
    e.hitLength = 1;
    return e;
}

TEST(ResultsModel, RolesShowTheLineWithoutMarkers)
{
    struct Case {
        ResultEntry entry;
        QString display;
        int hitBegin, hitEnd; // in characters of the shown text
        int nameBegin;        // where the part in the file colour starts
        QString path;
        qlonglong line;
    };
    const std::string hb(kHitBegin), he(kHitEnd);
    const Case cases[] = {
        {ResultEntry::fileLine("/d/a.txt"), "Processing file : /d/a.txt", -1, -1, 18, "/d/a.txt", 0},
        {hitLine("Line   3 - a " + hb + "word" + he + " here", 3, "/d/a.txt"), "Line   3 - a word here", 13, 17, -1,
         "/d/a.txt", 3},
        // Multi-byte characters before the hit: the range counts characters, not bytes.
        {hitLine("Line 1234 - \xC3\xA4\xC3\xB6 " + hb + "x" + he, 1234, "/d/b.txt"),
         QString::fromUtf8("Line 1234 - \xC3\xA4\xC3\xB6 x"), 15, 16, -1, "/d/b.txt", 1234},
        // A Latin-1 line in a UTF-8 session shows its bytes as Latin-1, hit range intact.
        {hitLine("Line   2 - caf\xE9 " + hb + "au" + he + " lait", 2, "/d/c.txt"),
         QString::fromLatin1("Line   2 - caf\xE9 au lait"), 16, 18, -1, "/d/c.txt", 2},
        {ResultEntry::summary("Searched 2 file(s), found 1 occurrences in 1 file(s)"),
         "Searched 2 file(s), found 1 occurrences in 1 file(s)", -1, -1, 0, "", 0},
    };
    ResultsModel model;
    std::vector<ResultEntry> lines;
    for (const Case& c : cases)
        lines.push_back(c.entry);
    model.appendLines(lines);
    ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < model.rowCount(); ++i) {
        const Case& c = cases[i];
        const QModelIndex index = model.index(i);
        SCOPED_TRACE(c.display.toStdString());
        EXPECT_EQ(model.data(index).toString(), c.display);
        EXPECT_EQ(model.data(index, ResultsModel::KindRole).toInt(), static_cast<int>(c.entry.kind));
        EXPECT_EQ(model.data(index, ResultsModel::PathRole).toString(), c.path);
        EXPECT_EQ(model.data(index, ResultsModel::LineNumberRole).toLongLong(), c.line);
        EXPECT_EQ(model.data(index, ResultsModel::HitBeginRole).toInt(), c.hitBegin);
        EXPECT_EQ(model.data(index, ResultsModel::HitEndRole).toInt(), c.hitEnd);
        EXPECT_EQ(model.data(index, ResultsModel::NameBeginRole).toInt(), c.nameBegin);
    }
}

TEST(ResultsModel, ABatchIsOneInsertion)
{
    ResultsModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const std::vector<ResultEntry> first(1000, ResultEntry::fileLine("/d/a.txt"));
    const std::vector<ResultEntry> second(7, ResultEntry::fileLine("/d/b.txt"));
    model.appendLines(first);
    model.appendLines(second);
    model.appendLines(std::vector<ResultEntry>{});
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 999);
    EXPECT_EQ(inserted[1][1].toInt(), 1000);
    EXPECT_EQ(inserted[1][2].toInt(), 1006);
    // Paths are shared by neighbours, yet each row still reports its own.
    EXPECT_EQ(model.data(model.index(999), ResultsModel::PathRole).toString(), "/d/a.txt");
    EXPECT_EQ(model.data(model.index(1000), ResultsModel::PathRole).toString(), "/d/b.txt");
}

// Lines split at random into batches that are reused give the very rows of one batch:
// a path that runs on from one batch into the next, a batch emptied and filled again with
// fewer paths or shorter texts than before, one member name in two archives and on disk.
// Every row keeps the path, archive path and fields of its own line.
TEST(ResultsModel, ReusedBatchesGiveTheRowsOfOneBatch)
{
    std::mt19937 rng(7);
    const std::string paths[] = {"/d/a.txt", "/d/b.txt", "m.txt"};
    const std::string archives[] = {"", "/z/one.zip", "/z/two.zip"};
    std::vector<ResultEntry> lines;
    for (int i = 0; i < 3000; ++i) {
        const std::string& path = paths[rng() % 3];
        const std::string& archive = path == "m.txt" ? archives[rng() % 3] : archives[0];
        if (rng() % 4 == 0) {
            lines.push_back(ResultEntry::fileLine(path, archive));
            continue;
        }
        lines.push_back(hitLine("Line " + std::to_string(i) + " - " + std::string(rng() % 40, 'x') +
                                    (rng() % 5 == 0 ? "\xE9" : ""),
                                i, path));
        ResultEntry& e = lines.back();
        e.archivePath = archive;
        e.fileOffset = static_cast<int64_t>(rng()) << 8;
        e.hitColumn = static_cast<int>(rng() % 1000);
        e.hitLength = static_cast<int>(rng() % 100);
        e.binary = rng() % 2 == 0;
    }
    ResultsModel whole;
    whole.appendLines(lines);
    ResultsModel split;
    ResultsModel::Batch batch;
    for (size_t i = 0; i < lines.size(); ++i) {
        batch.add(lines[i]);
        if (rng() % 50 == 0)
            split.appendBatch(batch);
    }
    split.appendBatch(batch);
    ASSERT_EQ(split.rowCount(), whole.rowCount());
    for (int r = 0; r < whole.rowCount(); ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(split.pathAt(r), lines[static_cast<size_t>(r)].path);
        for (int role : {int(Qt::DisplayRole), int(ResultsModel::HitBeginRole), int(ResultsModel::LineNumberRole)})
            ASSERT_EQ(split.data(split.index(r), role), whole.data(whole.index(r), role));
        const ResultEntry& line = lines[static_cast<size_t>(r)];
        ASSERT_EQ(split.fieldsAt(r), line.fields());
        ASSERT_EQ(split.pathAt(r), line.path);
        ASSERT_EQ(split.archivePathAt(r), line.archivePath);
        ASSERT_EQ(whole.archivePathAt(r), line.archivePath);
    }
}

// The rows of a real run (several hits a line, a long line, a binary file, an archive
// member; on the run's thread and on workers) hold exactly the fields, path and archive
// path of the lines the run made, as a second view of the same list received them, and
// a hit row leads back to the very bytes of its hit.
TEST(ResultsModel, RowsOfARunKeepThePlaceOfTheirLines)
{
    test::TempDir dir;
    std::string text = "needle needle\nno\n" + std::string(500, 'x') + "needle" + std::string(300, 'y') + "\n";
    for (int i = 0; i < 40; ++i)
        text += i % 7 == 0 ? "a needle in line\n" : "hay\n";
    test::writeFile(dir.file("a.txt"), text);
    std::string bytes("\x00\x01\x02needle", 9);
    bytes += std::string(3000, '\x07') + "needle" + std::string(20, '\0');
    test::writeFile(dir.file("b.bin"), bytes);
    const std::string member = "hay\nneedle and needle\n";
    ASSERT_TRUE(test::writeArchive(dir.file("c.zip"), "zip", {{"in/m.txt", member}}));
    const std::string zip = dir.file("c.zip");
    auto hitBytes = [&](const ResultEntry& e) {
        const std::string data = e.archivePath.empty() ? test::readFile(e.path) : member;
        return data.substr(static_cast<size_t>(e.fileOffset), static_cast<size_t>(e.hitLength));
    };

    for (const size_t threads : {size_t(1), size_t(2)}) {
        SCOPED_TRACE(threads);
        test::FakeHost host;
        ResultsList list;
        ResultsModel model;
        BatchedResultsView view(model);
        MemoryResultsView recorded;
        list.setView(&view);
        list.setCopyView(&recorded);
        RunDriver driver(host, list);
        SearchRequest request;
        SearchPair pair;
        pair.searchText = "needle";
        pair.caseSensitive = true;
        request.pairs.push_back(pair);
        request.pathMasks.push_back({dir.path(), "*.txt;*.bin"});
        request.quiet = true;
        request.threads = threads;
        request.blockSize = 4096;
        view.startRun();
        driver.ExecuteRun(request);
        view.finishRun();

        ASSERT_EQ(model.rowCount(), static_cast<int>(recorded.lines.size()));
        int hits = 0, memberHits = 0, binaryHits = 0;
        for (int r = 0; r < model.rowCount(); ++r) {
            const ResultEntry& e = recorded.lines[static_cast<size_t>(r)];
            const QModelIndex index = model.index(r);
            SCOPED_TRACE(e.text);
            ASSERT_EQ(model.fieldsAt(r), e.fields());
            ASSERT_EQ(model.pathAt(r), e.path);
            ASSERT_EQ(model.archivePathAt(r), e.archivePath);
            EXPECT_EQ(model.data(index, ResultsModel::KindRole).toInt(), static_cast<int>(e.kind));
            EXPECT_EQ(model.data(index, ResultsModel::PathBytesRole).toByteArray().toStdString(), e.path);
            EXPECT_EQ(model.data(index, ResultsModel::ArchivePathBytesRole).toByteArray().toStdString(),
                      e.archivePath);
            EXPECT_EQ(model.data(index, ResultsModel::LineNumberRole).toLongLong(), e.lineNumber);
            EXPECT_EQ(model.data(index, ResultsModel::FileOffsetRole).toLongLong(), e.fileOffset);
            EXPECT_EQ(model.data(index, ResultsModel::HitColumnRole).toInt(), e.hitColumn);
            EXPECT_EQ(model.data(index, ResultsModel::HitLengthRole).toInt(), e.hitLength);
            EXPECT_EQ(model.data(index, ResultsModel::BinaryRole).toBool(), e.binary);
            if (e.kind != LineKind::Hit)
                continue;
            ++hits;
            memberHits += e.archivePath == zip && e.path == "in/m.txt";
            binaryHits += e.binary;
            EXPECT_EQ(hitBytes(e), "needle");
            if (!e.binary) {
                const std::string data = e.archivePath.empty() ? test::readFile(e.path) : member;
                const auto before = data.begin() + static_cast<long>(e.fileOffset);
                EXPECT_EQ(e.lineNumber, 1 + std::count(data.begin(), before, '\n'));
            }
            // The shown hit starts hitColumn bytes after the line's prefix (the lines here
            // show their bytes one for one).
            const QString shown = model.data(index).toString();
            EXPECT_EQ(model.data(index, ResultsModel::HitBeginRole).toInt(), shown.indexOf(" - ") + 3 + e.hitColumn);
        }
        EXPECT_EQ(hits, 2 + 1 + 6 + 2 + 2);
        EXPECT_EQ(memberHits, 2);
        EXPECT_EQ(binaryHits, 2);

        // The list's page is the page of the run's own lines (a member's file line links
        // to its archive).
        ASSERT_TRUE(writeHtmlPage(model, "heading\r\n", dir.file("list.htm")));
        std::unique_ptr<File> out = realFileSystem().openWrite(dir.file("run.htm"), true, true);
        ASSERT_TRUE(out);
        HtmlResultsView page(*out, "heading\r\n", HtmlOptions{});
        for (const ResultEntry& e : recorded.lines)
            page.appendLine(e);
        ASSERT_TRUE(page.finish());
        out.reset();
        EXPECT_EQ(test::readFile(dir.file("list.htm")), test::readFile(dir.file("run.htm")));
    }
}

TEST(BatchedResultsView, WorkerLinesArriveInOrderInFewBatches)
{
    ResultsModel model;
    BatchedResultsView view(model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    constexpr int kLines = 20000;
    view.startRun();
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i)
            view.appendLine(hitLine("Line " + std::to_string(i + 1) + " - x", i + 1, "/d/a.txt"));
    });
    // The GUI thread keeps running its event loop while the worker adds lines.
    // Lines reach the model during the run, before it finishes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.rowCount() >= kLines / 2; }, 10000));
    worker.join();
    view.finishRun();
    ASSERT_EQ(model.rowCount(), kLines);
    for (int i = 0; i < kLines; i += 997)
        ASSERT_EQ(model.data(model.index(i), ResultsModel::LineNumberRole).toLongLong(), i + 1);
    EXPECT_LE(inserted.count(), kLines / 1000);
}

} // namespace
} // namespace tw
