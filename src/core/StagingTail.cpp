#include "core/StagingTail.h"

#include "core/SafeRewrite.h"

#include <algorithm>
#include <utility>

namespace tw {

bool StagingBudget::take(int64_t bytes)
{
    int64_t left = m_left.load();
    while (left >= bytes)
        if (m_left.compare_exchange_weak(left, left - bytes))
            return true;
    return false;
}

struct StagingTail::Segment {
    std::unique_ptr<File> file;
    std::shared_ptr<StagingBudget> budget;
    int64_t reserved = 0; // of the budget: a memory segment's bytes
    bool memory = false;
    ~Segment()
    {
        if (reserved > 0)
            budget->give(reserved);
    }
};

namespace {

// Bytes [base, base + length) of a segment, read-only. Reads are positioned calls on the
// segment, so they need nothing of the tail that writes on behind them.
class StagedView final : public File {
public:
    StagedView(std::shared_ptr<StagingTail::Segment> segment, int64_t base, int64_t length)
        : m_segment(std::move(segment)), m_base(base), m_length(length)
    {
    }
    int64_t read(void* buffer, size_t count) override
    {
        const int64_t n = readAt(buffer, count, m_position);
        if (n > 0)
            m_position += n;
        return n;
    }
    int64_t readAt(void* buffer, size_t count, int64_t offset) override
    {
        if (offset < 0)
            return -1;
        const int64_t want = std::min<int64_t>(int64_t(count), m_length - offset);
        return want <= 0 ? 0 : m_segment->file->readAt(buffer, size_t(want), m_base + offset);
    }
    bool write(const void*, size_t) override { return false; }
    bool seek(int64_t offset) override
    {
        if (offset < 0)
            return false;
        m_position = offset;
        return true;
    }
    int64_t position() override { return m_position; }
    bool truncate(int64_t) override { return false; }
    bool sync() override { return true; }
    const std::string& path() const override { return m_segment->file->path(); }
    bool status(FileStatus* out) override
    {
        *out = FileStatus{};
        out->isRegular = true;
        out->size = m_length;
        return true;
    }

private:
    std::shared_ptr<StagingTail::Segment> m_segment;
    const int64_t m_base, m_length;
    int64_t m_position = 0;
};

} // namespace

StagingTail::StagingTail(FileSystem& fs, std::shared_ptr<StagingBudget> budget, int64_t memorySegmentBytes,
                         int64_t fileSegmentBytes)
    : m_fs(fs), m_budget(std::move(budget)), m_memorySegmentBytes(memorySegmentBytes),
      m_fileSegmentBytes(fileSegmentBytes)
{
}

StagingTail::~StagingTail() = default;

bool StagingTail::ready()
{
    if (m_segment && !m_full)
        return true;
    m_segment.reset();
    m_base = 0;
    m_position = 0;
    m_full = false;
    return moveOutput(0, 0);
}

bool StagingTail::moveOutput(int64_t carry, int64_t more)
{
    auto next = std::make_shared<Segment>();
    next->budget = m_budget;
    if (std::max(carry, m_position + more) <= m_memorySegmentBytes && m_budget->take(m_memorySegmentBytes)) {
        next->reserved = m_memorySegmentBytes;
        next->file = m_fs.createMemoryScratch("TWstage");
        next->memory = next->file != nullptr;
        if (!next->memory)
            m_budget->give(std::exchange(next->reserved, 0));
    }
    if (!next->file)
        next->file = m_fs.createScratch("TW");
    if (!next->file)
        return false;
    // The output written so far moves along; only this tail reads or writes the segment
    // beyond m_base, so its position may move.
    if (m_segment && carry > 0 && copySegment(*m_segment->file, m_base, carry, *next->file) != carry)
        return false;
    // What the views of the old segment cover stays; the moved output goes from it.
    if (m_segment && !m_segment->file->truncate(m_base))
        return false;
    m_segment = std::move(next);
    m_base = 0;
    return m_segment->file->seek(m_position);
}

int64_t StagingTail::outputLength()
{
    FileStatus st;
    if (!m_segment || !m_segment->file->status(&st))
        return -1;
    return std::max<int64_t>(0, st.size - m_base);
}

std::shared_ptr<File> StagingTail::keep()
{
    const int64_t length = outputLength();
    if (length < 0)
        return nullptr;
    auto view = std::make_shared<StagedView>(m_segment, m_base, length);
    m_base += length;
    m_position = 0;
    // A file segment (taken when the budget ran out, or for a large output) gives way to
    // memory again as soon as the budget allows.
    m_full = m_segment->memory ? m_base >= m_memorySegmentBytes
                               : m_base >= m_fileSegmentBytes || m_budget->left() >= m_memorySegmentBytes;
    if (!m_full && !m_segment->file->seek(m_base))
        m_full = true; // the next output starts on a new segment
    return view;
}

int64_t StagingTail::read(void* buffer, size_t count)
{
    if (!m_segment)
        return -1;
    const int64_t n = m_segment->file->read(buffer, count);
    if (n > 0)
        m_position += n;
    return n;
}

bool StagingTail::write(const void* data, size_t count)
{
    if (!m_segment)
        return false;
    if (m_segment->memory && m_base + m_position + int64_t(count) > m_memorySegmentBytes) {
        const int64_t length = outputLength();
        if (length < 0 || !moveOutput(length, int64_t(count)))
            return false;
    }
    if (!m_segment->file->write(data, count))
        return false;
    m_position += int64_t(count);
    return true;
}

bool StagingTail::seek(int64_t offset)
{
    if (!m_segment || offset < 0 || !m_segment->file->seek(m_base + offset))
        return false;
    m_position = offset;
    return true;
}

int64_t StagingTail::position()
{
    return m_segment ? m_position : -1;
}

bool StagingTail::truncate(int64_t length)
{
    return m_segment && length >= 0 && m_segment->file->truncate(m_base + length);
}

bool StagingTail::sync()
{
    return m_segment && m_segment->file->sync();
}

const std::string& StagingTail::path() const
{
    static const std::string none = "(no staging segment)";
    return m_segment ? m_segment->file->path() : none;
}

bool StagingTail::status(FileStatus* out)
{
    if (!m_segment || !m_segment->file->status(out))
        return false;
    out->size = std::max<int64_t>(0, out->size - m_base);
    return true;
}

} // namespace tw
