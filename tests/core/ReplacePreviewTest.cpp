// A preview through the driver: it changes no file and names the files it would change
// with their status as scanned; a later run limited to those files (ExpectedFiles) leaves
// out every file that changed since, and every file not listed.
#include "core/ExpectedFiles.h"
#include "core/ReplacePreview.h"
#include "core/RunDriver.h"
#include "results/ResultText.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::FakeHost;
using test::readFile;
using test::TempDir;
using test::writeFile;

struct DriverRun {
    FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    SearchRequest req;
    DriverRun(const std::string& dir)
    {
        results.setView(&view);
        req.replaceMode = true;
        req.quiet = true;
        req.options.promptMode = 2;
        req.pathMasks.push_back({dir, "*.txt"});
        SearchPair p;
        p.searchText = "foo";
        p.replaceText = "bar";
        req.pairs.push_back(p);
    }
    std::string lastLine() const { return view.lines.empty() ? std::string() : outputForm(view.lines.back().text, "<", ">"); }
    bool hasLine(const std::string& text) const
    {
        for (const ResultEntry& e : view.lines)
            if (outputForm(e.text, "<", ">") == text)
                return true;
        return false;
    }
};

TEST(ReplacePreview, NamesItsFilesAndALaterRunReplacesOnlyThoseUnchanged)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "foo\n");
    writeFile(dir.file("b.txt"), "foo foo\n");
    writeFile(dir.file("c.txt"), "nothing\n");
    std::unique_ptr<File> patch = realFileSystem().createScratch("TWT");
    ReplacePreview preview(realFileSystem(), *patch);
    std::vector<PreviewedFile> files;
    preview.setFileHandler([&](const PreviewedFile& f) { files.push_back(f); });
    DriverRun p(dir.path());
    p.req.preview = &preview;
    ASSERT_EQ(p.driver.ExecuteRun(p.req), RunOutcome::Completed);
    EXPECT_EQ(p.lastLine(), "Preview: 3 occurrences in 2 file(s) would be replaced");
    EXPECT_EQ(readFile(dir.file("a.txt")), "foo\n");
    EXPECT_EQ(readFile(dir.file("b.txt")), "foo foo\n");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].rel, "a.txt");
    EXPECT_EQ(files[1].replacements, 2);
    EXPECT_EQ(files[1].size, 8);
    std::string text(static_cast<size_t>(patch->position()), '\0');
    ASSERT_TRUE(patch->seek(0) && patch->read(text.data(), text.size()) == static_cast<int64_t>(text.size()));
    EXPECT_EQ(text, "diff --git a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n@@ -1 +1 @@\n-foo\n+bar\n"
                    "diff --git a/b.txt b/b.txt\n--- a/b.txt\n+++ b/b.txt\n@@ -1 +1 @@\n-foo foo\n+bar bar\n");

    // b.txt changes after the preview, d.txt was never previewed.
    ExpectedFiles expected;
    for (const PreviewedFile& f : files)
        expected.add(f.path, f.size, f.lastWrite);
    writeFile(dir.file("b.txt"), "foo foo foo\n");
    writeFile(dir.file("d.txt"), "foo\n");
    DriverRun r(dir.path());
    r.req.onlyFiles = &expected;
    ASSERT_EQ(r.driver.ExecuteRun(r.req), RunOutcome::Completed);
    EXPECT_EQ(readFile(dir.file("a.txt")), "bar\n");
    EXPECT_EQ(readFile(dir.file("b.txt")), "foo foo foo\n");
    EXPECT_EQ(readFile(dir.file("d.txt")), "foo\n");
    EXPECT_TRUE(r.hasLine("Not replaced, changed since the preview: " + dir.file("b.txt")));
    EXPECT_EQ(expected.refused(), std::vector<std::string>{dir.file("b.txt")});
    EXPECT_TRUE(r.hasLine("Replaced 1 occurrences in 1 file(s)"));
}

} // namespace
} // namespace tw
