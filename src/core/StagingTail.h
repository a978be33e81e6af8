#pragma once
// Where a replace worker writes the last output of each file it changes, so that the
// original is later rewritten from there without the content being copied once more.
// The outputs go one after another into a segment file. A finished output is handed over
// as a read-only view of its bytes (keep), and the next output begins after it.
//
// Segments live in memory while the run's budget allows: they never need to reach the
// disk, and the barriers that make the safety copies durable then have nothing of them
// to write. Otherwise, and for an output that outgrows a memory segment, they are unnamed
// temporary files. A segment goes once its last view is gone, on whatever thread.
#include "platform/FileSystem.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tw {

// The memory the staged outputs of a run may take, shared by its workers.
class StagingBudget {
public:
    explicit StagingBudget(int64_t bytes) : m_left(bytes) {}
    // Takes `bytes` when that many are left.
    [[nodiscard]] bool take(int64_t bytes);
    void give(int64_t bytes) { m_left.fetch_add(bytes); }
    int64_t left() const { return m_left.load(); }

private:
    std::atomic<int64_t> m_left; // invariant: >= 0
};

class StagingTail final : public File {
public:
    // Bytes a memory segment may hold; each takes that much of the budget until it goes.
    static constexpr int64_t kMemorySegmentBytes = int64_t(4) << 20;
    // A file segment holds outputs up to this much before the next one starts, so that
    // the space of rewritten files is given back during the run.
    static constexpr int64_t kFileSegmentBytes = int64_t(64) << 20;

    // Tests pass smaller segments.
    StagingTail(FileSystem& fs, std::shared_ptr<StagingBudget> budget,
                int64_t memorySegmentBytes = kMemorySegmentBytes, int64_t fileSegmentBytes = kFileSegmentBytes);
    ~StagingTail() override;
    StagingTail(const StagingTail&) = delete;
    StagingTail& operator=(const StagingTail&) = delete;

    // Makes the segment the next output goes to when needed; false when none can be made.
    [[nodiscard]] bool ready();
    // The output written since the last keep, as a view of its own: it reads the bytes
    // from any thread while this tail writes the next output after them. Null without a
    // segment.
    std::shared_ptr<File> keep();

    // The current output: offset 0 is its first byte.
    [[nodiscard]] int64_t read(void* buffer, size_t count) override;
    [[nodiscard]] bool write(const void* data, size_t count) override;
    [[nodiscard]] bool seek(int64_t offset) override;
    [[nodiscard]] int64_t position() override;
    [[nodiscard]] bool truncate(int64_t length) override;
    [[nodiscard]] bool sync() override;
    const std::string& path() const override;
    [[nodiscard]] bool status(FileStatus* out) override;

    struct Segment;

private:
    // A new segment for the current output (`carry` bytes of it written so far, `more`
    // about to be): in memory when it fits and the budget allows, otherwise a file. The
    // bytes written so far move along.
    [[nodiscard]] bool moveOutput(int64_t carry, int64_t more);
    // The current output's length, from the segment's size.
    int64_t outputLength();

    FileSystem& m_fs;
    std::shared_ptr<StagingBudget> m_budget;
    const int64_t m_memorySegmentBytes, m_fileSegmentBytes;
    std::shared_ptr<Segment> m_segment; // null until ready()
    int64_t m_base = 0;     // where the current output begins in m_segment
    int64_t m_position = 0; // in the current output; invariant: >= 0
    bool m_full = false;    // the next output goes to a new segment
};

} // namespace tw
