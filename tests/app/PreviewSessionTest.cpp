// The desktop program's preview and its replace, run through the driver on all threads:
// the replace rewrites exactly the previewed files that did not change since, names the
// others in the preview's order whatever order the threads met them in, and the patch
// file goes with the session.
#include "app/PreviewSession.h"
#include "results/ResultsList.h"

#include "TestUtil.h"
#include "core/FakeHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

SearchRequest catToCow(const std::string& dir)
{
    SearchRequest req;
    req.replaceMode = true;
    req.quiet = true;
    req.options.promptMode = 0; // would ask: neither run may
    req.options.threads = 2;
    req.pathMasks.push_back({dir, "*.txt"});
    SearchPair p;
    p.searchText = "cat";
    p.replaceText = "cow";
    req.pairs.push_back(p);
    return req;
}

TEST(PreviewSession, ReplacesThePreviewedFilesAndNamesTheChangedOnesInPreviewOrder)
{
    TempDir dir;
    const int kFiles = 40;
    const auto name = [&](int k) { return dir.file("f" + std::to_string(100 + k) + ".txt"); };
    for (int k = 0; k < kFiles; ++k)
        writeFile(name(k), k % 5 == 4 ? "dog\n" : "cat " + std::to_string(k) + "\n");

    std::string patchPath;
    {
        test::FakeHost host;
        MemoryResultsView view;
        ResultsList results;
        results.setView(&view);
        RunDriver driver(host, results);
        std::string error;
        std::shared_ptr<PreviewSession> session = PreviewSession::create(realFileSystem(), catToCow(dir.path()), &error);
        ASSERT_TRUE(session) << error;
        patchPath = session->patchPath();
        ASSERT_EQ(session->runPreview(driver), RunOutcome::Completed);
        EXPECT_TRUE(session->patchWritten());
        ASSERT_EQ(session->files().size(), 32u);
        EXPECT_EQ(session->replacements(), 32);
        for (int k = 0; k < kFiles; ++k)
            EXPECT_EQ(readFile(name(k)), k % 5 == 4 ? "dog\n" : "cat " + std::to_string(k) + "\n");

        // Every third previewed file changes (another size); a new file appears.
        std::vector<std::string> changed;
        for (size_t i = 0; i < session->files().size(); i += 3) {
            writeFile(session->files()[i].path, "cat cat cat\n");
            changed.push_back(session->files()[i].path);
        }
        writeFile(dir.file("new.txt"), "cat\n");
        ASSERT_EQ(session->runReplace(driver), RunOutcome::Completed);
        EXPECT_EQ(session->refused(), changed);
        EXPECT_TRUE(host.questions.empty());
        for (int k = 0; k < kFiles; ++k) {
            const bool refused = std::find(changed.begin(), changed.end(), name(k)) != changed.end();
            const std::string number = std::to_string(k) + "\n";
            EXPECT_EQ(readFile(name(k)), k % 5 == 4 ? "dog\n" : refused ? "cat cat cat\n" : "cow " + number) << k;
        }
        EXPECT_EQ(readFile(dir.file("new.txt")), "cat\n");
        EXPECT_TRUE(std::filesystem::exists(patchPath));
    }
    EXPECT_FALSE(std::filesystem::exists(patchPath));
}

} // namespace
} // namespace tw
