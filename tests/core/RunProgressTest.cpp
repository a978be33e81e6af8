#include "core/RunDriver.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ScratchWrappingFs.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

// Records the progress a run shows; byteProgress may come from any thread.
class ProgressHost : public test::FakeHost {
public:
    void progress(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        texts.push_back(text);
    }
    void byteProgress(std::string_view path, int64_t done) override
    {
        std::lock_guard lock(m_mutex);
        bytes.emplace_back(std::string(path), done);
    }
    std::vector<std::string> texts;
    std::vector<std::pair<std::string, int64_t>> bytes;

private:
    std::mutex m_mutex;
};

// The real files, of which those named "slow" take a while for every block read.
class SlowFs : public test::ScratchWrappingFs {
public:
    std::unique_ptr<File> openRead(const std::string& path, int* error) override
    {
        auto f = realFileSystem().openRead(path, error);
        if (f && path.find("slow") != std::string::npos)
            return std::make_unique<SlowFile>(std::move(f));
        return f;
    }

protected:
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override { return inner; }

private:
    struct SlowFile : test::ForwardingFile {
        using ForwardingFile::ForwardingFile;
        int64_t read(void* b, size_t n) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            return ForwardingFile::read(b, n);
        }
    };
};

SearchRequest request(const std::string& text, const std::string& dir, size_t threads)
{
    SearchRequest req;
    req.pairs.push_back(SearchPair{});
    req.pairs[0].searchText = text;
    req.pathMasks.push_back({dir, "*.*"});
    req.searchSubdirectories = true;
    req.blockSize = 65536;
    req.threads = threads;
    req.quiet = true;
    return req;
}

// A file that takes long reports how far its scan has come while it is scanned, on one
// thread and on several (where its other lines wait until it is done).
TEST(RunProgress, ALongFileReportsItsBytesWhileItIsScanned)
{
    TempDir dir;
    const std::string slow = dir.file("slow.bin");
    writeFile(slow, std::string(size_t(2) << 20, 'a')); // 32 blocks of 15 ms
    for (int i = 0; i < 3; ++i)
        writeFile(dir.file("f" + std::to_string(i) + ".txt"), "needle\n");
    for (const size_t threads : {size_t(1), size_t(3)}) {
        SCOPED_TRACE(threads);
        SlowFs fs;
        ProgressHost host;
        MemoryResultsView view;
        ResultsList results(fs);
        results.setView(&view);
        RunDriver driver(host, results, fs);
        SearchRequest req = request("needle", dir.path(), threads);
        ASSERT_EQ(driver.ExecuteRun(req), RunOutcome::Completed);
        ASSERT_GE(host.bytes.size(), 2u);
        for (size_t k = 0; k < host.bytes.size(); ++k) {
            EXPECT_EQ(host.bytes[k].first, slow);
            EXPECT_LE(host.bytes[k].second, int64_t(2) << 20);
            if (k > 0) {
                EXPECT_GT(host.bytes[k].second, host.bytes[k - 1].second);
            }
        }
        EXPECT_EQ(byteProgressText(host.bytes.back().second),
                  std::to_string(host.bytes.back().second >> 20) + " MB of this file searched");
    }
}

// While the walk is still finding files a run counts them; once it knows them all it
// shows the share done. Either way nothing it shows goes backwards.
TEST(RunProgress, NeverGoesBackwardsWhileTheListGrows)
{
    TempDir dir;
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 30; ++f)
            writeFile(dir.file("d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"), "needle\n");
    for (const char* text : {"needle", ""}) {
        SCOPED_TRACE(*text ? "search" : "listing");
        ProgressHost host;
        MemoryResultsView view;
        ResultsList results;
        results.setView(&view);
        RunDriver driver(host, results);
        SearchRequest req = request(text, dir.path(), 4);
        ASSERT_EQ(*text ? driver.ExecuteRun(req) : driver.ListFilesOnly(req), RunOutcome::Completed);
        long found = 0, percent = -1, shown = 0;
        for (const std::string& t : host.texts) {
            long a = 0, b = 0;
            if (std::sscanf(t.c_str(), "%ld files to process (%ld%% done)", &a, &b) == 2) {
                EXPECT_GE(b, percent) << t;
                percent = b;
                ++shown;
            } else if (std::sscanf(t.c_str(), "%ld files found so far", &a) == 1) {
                EXPECT_EQ(percent, -1) << t << ": counting again after a share was shown";
                EXPECT_GE(a, found) << t;
                found = a;
                ++shown;
            }
        }
        EXPECT_GT(shown, 100);
    }
}

} // namespace
} // namespace tw
