// A worker's staging tail: over random outputs (writes, seeks, overwrites, truncates, some
// outputs kept and others dropped) with tiny segments and a budget that runs out, every
// view must read exactly the bytes its output had when it was kept, while the tail writes
// on and moves outputs between memory and files; views are read on another thread as a
// rewrite reads them; and every byte of the budget comes back once the views are gone.
#include "core/StagingTail.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>

namespace tw {
namespace {

struct Kept {
    std::shared_ptr<File> view;
    std::string bytes;
};

// The view's whole content through read() after a seek, and some pieces through readAt.
void expectReadsBack(const Kept& k, std::mt19937& rng)
{
    FileStatus st;
    ASSERT_TRUE(k.view->status(&st));
    ASSERT_EQ(st.size, int64_t(k.bytes.size()));
    ASSERT_TRUE(k.view->seek(0));
    std::string got;
    char buffer[37];
    for (int64_t n; (n = k.view->read(buffer, sizeof buffer)) > 0;)
        got.append(buffer, size_t(n));
    ASSERT_EQ(got, k.bytes);
    for (int i = 0; i < 3 && !k.bytes.empty(); ++i) {
        const size_t at = rng() % k.bytes.size(), want = 1 + rng() % 40;
        const int64_t n = k.view->readAt(buffer, std::min(want, sizeof buffer), int64_t(at));
        ASSERT_EQ(std::string(buffer, size_t(std::max<int64_t>(n, 0))), k.bytes.substr(at, std::min(want, sizeof buffer)));
    }
    EXPECT_FALSE(k.view->write("x", 1));
}

// Writes one output into `tail` as a pair writes it (from an emptied output, with some
// seeks back and overwrites) and returns what it holds.
std::string writeOutput(StagingTail& tail, std::mt19937& rng, int round)
{
    EXPECT_TRUE(tail.seek(0) && tail.truncate(0));
    std::string model;
    int64_t at = 0;
    const int steps = int(rng() % 6);
    for (int s = 0; s < steps; ++s) {
        if (rng() % 5 == 0 && !model.empty()) {
            at = int64_t(rng() % model.size());
            EXPECT_TRUE(tail.seek(at));
            continue;
        }
        // Mostly short pieces; now and then one larger than a memory segment.
        const size_t n = rng() % 12 == 0 ? 100 + rng() % 300 : rng() % 50;
        std::string piece(n, '\0');
        for (size_t i = 0; i < n; ++i)
            piece[i] = char('a' + (round + s + int(i)) % 26);
        EXPECT_TRUE(tail.write(piece.data(), piece.size()));
        if (model.size() < size_t(at) + n)
            model.resize(size_t(at) + n);
        model.replace(size_t(at), n, piece);
        at += int64_t(n);
        EXPECT_EQ(tail.position(), at);
    }
    FileStatus st;
    EXPECT_TRUE(tail.status(&st));
    EXPECT_EQ(st.size, int64_t(model.size()));
    return model;
}

TEST(StagingTail, ViewsKeepTheirBytesWhileTheTailWritesOnAndMoves)
{
    std::mt19937 rng(2024);
    for (int budgetSegments : {0, 1, 3}) {
        SCOPED_TRACE("budget of " + std::to_string(budgetSegments) + " segments");
        const int64_t memory = 96, file = 400;
        auto budget = std::make_shared<StagingBudget>(budgetSegments * memory);
        std::deque<Kept> kept;
        {
            StagingTail tail(realFileSystem(), budget, memory, file);
            for (int round = 0; round < 400; ++round) {
                ASSERT_TRUE(tail.ready());
                const std::string bytes = writeOutput(tail, rng, round);
                if (rng() % 4 == 0)
                    continue; // not kept: the next output is written over it
                Kept k{tail.keep(), bytes};
                ASSERT_TRUE(k.view);
                kept.push_back(std::move(k));
                // Views go in any order, as batches are rewritten and reports dropped.
                if (kept.size() > 12 || rng() % 3 == 0)
                    kept.erase(kept.begin() + std::ptrdiff_t(rng() % kept.size()));
                for (int check = 0; check < 2 && !kept.empty(); ++check)
                    expectReadsBack(kept[rng() % kept.size()], rng);
                ASSERT_GE(budget->left(), 0);
            }
            for (const Kept& k : kept)
                expectReadsBack(k, rng);
        }
        // The views outlive the tail; the budget comes back with the last of them.
        for (const Kept& k : kept)
            expectReadsBack(k, rng);
        kept.clear();
        EXPECT_EQ(budget->left(), budgetSegments * memory);
    }
}

TEST(StagingTail, ViewsAreReadOnAnotherThreadWhileTheTailWrites)
{
    // The rewrite of a batch reads its views on a thread of its own while the worker
    // writes the next outputs into the same segment.
    auto budget = std::make_shared<StagingBudget>(4 * 512);
    StagingTail tail(realFileSystem(), budget, 512, 2048);
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Kept> queue;
    bool done = false;
    int mismatches = 0, read = 0;
    std::thread reader([&] {
        std::mt19937 rng(9);
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return done || !queue.empty(); });
            if (queue.empty())
                return;
            Kept k = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            std::string got(k.bytes.size(), '\0');
            const int64_t n = k.view->readAt(got.data(), got.size(), 0);
            mismatches += n != int64_t(got.size()) || got != k.bytes;
            ++read;
        }
    });
    std::mt19937 rng(10);
    for (int round = 0; round < 2000; ++round) {
        ASSERT_TRUE(tail.ready());
        Kept k;
        k.bytes = writeOutput(tail, rng, round);
        k.view = tail.keep();
        ASSERT_TRUE(k.view);
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(k));
        wake.notify_one();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        wake.notify_one();
    }
    reader.join();
    EXPECT_EQ(read, 2000);
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace tw
