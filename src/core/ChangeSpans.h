#pragma once
// The places where a replace run changed a file, as spans of its input: the bytes
// [offset, offset + length) of the input became `size` bytes of the output. Outside the
// spans input and output are the same bytes in the same order, so the spans are all a
// diff of the two needs. Spans are appended in increasing offset, none overlapping, and
// read back from the start; a file with many replacements keeps its spans in memory up to
// a bound and beyond it in an unnamed temporary file.
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tw {

struct ChangeSpan {
    int64_t offset = 0; // in the input
    int64_t length = 0; // input bytes replaced
    int64_t size = 0;   // output bytes in their place
};

class ChangeSpans {
public:
    explicit ChangeSpans(FileSystem& fs) : m_fs(fs) {}

    // Forgets every span (a new file).
    void clear();
    // False when the temporary file could not take them.
    [[nodiscard]] bool append(const ChangeSpan& span);
    bool empty() const { return m_count == 0; }
    int64_t count() const { return m_count; }
    bool failed() const { return m_failed; }

    // Reads from the first span again.
    void rewind();
    // The next span, or false at the end (or on a read failure: failed()).
    bool next(ChangeSpan& span);

    // `out` becomes the spans from the input of `first` to the output of `second`, where
    // `second` changed the output of `first`. Spans that touch are joined. False when a
    // temporary file failed.
    static bool compose(ChangeSpans& first, ChangeSpans& second, ChangeSpans& out);

    void swap(ChangeSpans& other) noexcept;

private:
    bool spill();
    static constexpr size_t kKept = 4096; // spans in memory at a time

    FileSystem& m_fs;
    // Invariants: spans [0, m_spilled) are in m_file, then m_memory holds the rest;
    // m_count = m_spilled + m_memory.size() while appending.
    std::vector<ChangeSpan> m_memory;
    std::unique_ptr<File> m_file;
    int64_t m_spilled = 0;
    int64_t m_count = 0;
    // Reading: the next span is number m_read; spans read from the file come through
    // m_readBuffer[m_readPos, m_readBuffer.size()).
    int64_t m_read = 0;
    std::vector<ChangeSpan> m_readBuffer;
    size_t m_readPos = 0;
    bool m_failed = false;
};

} // namespace tw
