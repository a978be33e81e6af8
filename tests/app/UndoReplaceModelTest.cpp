// "Undo Last Replace...": the rows of the last run with their states, and OK's take-back,
// over a history made by the crash-safe rewrite with the undo recorder as its keeper.
#include "app/UndoReplaceModel.h"

#include "TestUtil.h"
#include "core/SafeRewrite.h"
#include "core/UndoRecorder.h"
#include "engine/Sha256.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Rewrites each file to its new text in one batch that keeps its copies in the history.
void replaceRun(const std::string& dataDir, const std::vector<std::pair<std::string, std::string>>& files)
{
    FileSystem& fs = realFileSystem();
    UndoRecorder recorder(fs, realFileOps(), dataDir, int64_t(1) << 30, "old", "new", 0);
    auto source = fs.createScratch("TWT");
    ASSERT_TRUE(source);
    std::vector<RewriteItem> items(files.size());
    int64_t offset = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& text = files[i].second;
        ASSERT_TRUE(source->write(text.data(), text.size()));
        RewriteItem& item = items[i];
        item.originalPath = files[i].first;
        item.source = source.get();
        item.sourceOffset = offset;
        item.sourceLength = int64_t(text.size());
        item.checkExpected = true;
        ASSERT_TRUE(fs.status(item.originalPath, &item.expected));
        item.keepCopy = recorder.reserve(item.expected.size);
        Sha256 sha;
        sha.update(text.data(), text.size());
        item.contentHash = Sha256::hex(sha.finish());
        offset += int64_t(text.size());
    }
    rewriteBatchInPlace(fs, realFileOps(), dataDir, items, &recorder);
    for (const RewriteItem& item : items)
        ASSERT_EQ(item.outcome.result, RewriteResult::Done);
    EXPECT_TRUE(recorder.takeNotKept().empty());
}

TEST(UndoReplaceModel, RowsShowEachFilesStateAndOkRestoresOnlyTheUnchanged)
{
    TempDir tree, data;
    const std::string a = tree.file("a.txt"), b = tree.file("b.txt"), c = tree.file("c.txt");
    writeFile(a, "old a\n");
    writeFile(b, "old b\n");
    writeFile(c, "old c\n");
    UndoReplaceModel model(realFileSystem(), realFileOps(), data.path());
    EXPECT_FALSE(model.load());
    replaceRun(data.path(), {{a, "new a\n"}, {b, "new b\n"}, {c, "new c\n"}});
    // Kept copies live in the history only: no safety copy is left behind.
    EXPECT_TRUE(std::filesystem::is_empty(data.path() + "safety"));

    writeFile(b, "new B\n");
    std::filesystem::remove(c);
    ASSERT_TRUE(model.load());
    EXPECT_NE(model.heading().find("\"old\" -> \"new\"  3 file(s)"), std::string::npos) << model.heading();
    ASSERT_EQ(model.rowCount(), 3u);
    EXPECT_EQ(model.rowName(0), a);
    EXPECT_EQ(model.rowState(0), UndoFileState::WouldRestore);
    EXPECT_EQ(model.rowState(1), UndoFileState::Changed);
    EXPECT_EQ(model.rowState(2), UndoFileState::Missing);
    EXPECT_TRUE(model.anyToRestore());

    std::vector<std::string> lines;
    const UndoTakeBack done = model.takeBack(&lines);
    EXPECT_EQ(done.restored, 1);
    EXPECT_EQ(done.files, 3);
    EXPECT_EQ(readFile(a), "old a\n");
    EXPECT_EQ(readFile(b), "new B\n");
    EXPECT_FALSE(std::filesystem::exists(c));
    EXPECT_FALSE(model.load()) << "the run is taken back";
}

} // namespace
} // namespace tw
