#include "core/ChangeSpans.h"

#include "platform/Assert.h"

#include <algorithm>
#include <utility>

namespace tw {

void ChangeSpans::clear()
{
    m_memory.clear();
    m_spilled = 0;
    m_count = 0;
    m_read = 0;
    m_readBuffer.clear();
    m_readPos = 0;
    m_failed = false;
    if (m_file && (!m_file->seek(0) || !m_file->truncate(0)))
        m_file.reset();
}

bool ChangeSpans::spill()
{
    if (!m_file)
        m_file = m_fs.createScratch("TWS");
    if (!m_file || !m_file->seek(m_spilled * static_cast<int64_t>(sizeof(ChangeSpan))) ||
        !m_file->write(m_memory.data(), m_memory.size() * sizeof(ChangeSpan))) {
        m_failed = true;
        return false;
    }
    m_spilled += static_cast<int64_t>(m_memory.size());
    m_memory.clear();
    return true;
}

bool ChangeSpans::append(const ChangeSpan& span)
{
    TW_ASSERT(span.offset >= 0 && span.length >= 0 && span.size >= 0);
    if (m_failed)
        return false;
    if (m_memory.size() == kKept && !spill())
        return false;
    m_memory.push_back(span);
    ++m_count;
    TW_ASSERT(m_count == m_spilled + static_cast<int64_t>(m_memory.size()));
    return true;
}

void ChangeSpans::rewind()
{
    m_read = 0;
    m_readBuffer.clear();
    m_readPos = 0;
}

bool ChangeSpans::next(ChangeSpan& span)
{
    if (m_failed || m_read >= m_count)
        return false;
    if (m_read >= m_spilled) {
        span = m_memory[static_cast<size_t>(m_read - m_spilled)];
        ++m_read;
        return true;
    }
    if (m_readPos == m_readBuffer.size()) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(kKept, m_spilled - m_read));
        m_readBuffer.resize(n);
        m_readPos = 0;
        const int64_t bytes = static_cast<int64_t>(n * sizeof(ChangeSpan));
        if (!m_file->seek(m_read * static_cast<int64_t>(sizeof(ChangeSpan))) ||
            m_file->read(m_readBuffer.data(), static_cast<size_t>(bytes)) != bytes) {
            m_failed = true;
            return false;
        }
    }
    span = m_readBuffer[m_readPos++];
    ++m_read;
    return true;
}

void ChangeSpans::swap(ChangeSpans& other) noexcept
{
    std::swap(m_memory, other.m_memory);
    std::swap(m_file, other.m_file);
    std::swap(m_spilled, other.m_spilled);
    std::swap(m_count, other.m_count);
    std::swap(m_read, other.m_read);
    std::swap(m_readBuffer, other.m_readBuffer);
    std::swap(m_readPos, other.m_readPos);
    std::swap(m_failed, other.m_failed);
}

namespace {

// A span of either step as a range of the middle text (the output of the first step, the
// input of the second).
struct MiddleRange {
    int64_t begin = 0, end = 0;
    bool valid = false;
};

} // namespace

bool ChangeSpans::compose(ChangeSpans& first, ChangeSpans& second, ChangeSpans& out)
{
    // One sweep over both in order of their middle ranges: ranges that overlap or touch
    // form one group, which maps back to the input through the first step's shift before
    // and after it, and on to the output through the second step's.
    out.clear();
    first.rewind();
    second.rewind();
    ChangeSpan a, b;
    MiddleRange ra, rb;
    int64_t shiftA = 0; // output minus input of the first step's spans taken so far
    int64_t shiftB = 0; // the same for the second step
    auto takeA = [&] {
        ra.valid = first.next(a);
        if (ra.valid) {
            ra.begin = a.offset + shiftA;
            ra.end = ra.begin + a.size;
        }
    };
    auto takeB = [&] {
        rb.valid = second.next(b);
        if (rb.valid) {
            rb.begin = b.offset;
            rb.end = b.offset + b.length;
        }
    };
    takeA();
    takeB();
    while (ra.valid || rb.valid) {
        const bool startA = ra.valid && (!rb.valid || ra.begin <= rb.begin);
        const int64_t m0 = startA ? ra.begin : rb.begin;
        const int64_t in0 = startA ? a.offset : m0 - shiftA;
        const int64_t out0 = m0 + shiftB;
        int64_t m1 = m0;
        for (;;) {
            if (ra.valid && ra.begin <= m1 && (!rb.valid || ra.begin <= rb.begin)) {
                m1 = std::max(m1, ra.end);
                shiftA += a.size - a.length;
                takeA();
            } else if (rb.valid && rb.begin <= m1) {
                m1 = std::max(m1, rb.end);
                shiftB += b.size - b.length;
                takeB();
            } else {
                break;
            }
        }
        const int64_t in1 = m1 - shiftA;
        const int64_t out1 = m1 + shiftB;
        if (!out.append({in0, in1 - in0, out1 - out0}))
            return false;
    }
    return !first.failed() && !second.failed();
}

} // namespace tw
