#include "core/KeptBytes.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace tw {

KeptBytes::KeptBytes(ByteSource& source, FileSystem& fs, size_t memoryBytes)
    : m_source(source), m_fs(fs), m_memoryBytes(memoryBytes)
{
}

void KeptBytes::rewind()
{
    m_pos = 0;
    m_holeCursor = 0;
}

int64_t KeptBytes::read(void* buffer, size_t count)
{
    TW_ASSERT(0 <= m_pos && m_pos <= m_end);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (m_pos < m_end) {
        done = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), m_end - m_pos));
        if (!readKept(out, done))
            return -1;
        m_pos += static_cast<int64_t>(done);
    }
    if (done == count)
        return static_cast<int64_t>(done);
    // Past the kept bytes: a short read only where the source ended, never where it or
    // the keeping failed.
    if (m_sourceState == SourceState::Failed)
        return -1;
    if (m_sourceState == SourceState::Ended)
        return static_cast<int64_t>(done);
    const int64_t got = readSource(out + done, count - done);
    return got < 0 ? -1 : static_cast<int64_t>(done) + got;
}

int64_t KeptBytes::readSource(uint8_t* out, size_t count)
{
    TW_ASSERT(m_pos == m_end && m_sourceState == SourceState::Open);
    // The first bytes of this read that fall in a hole of the source are kept as a hole.
    const int64_t zeros = m_source.zerosAhead();
    const int64_t got = m_source.read(out, count);
    if (got < 0) {
        m_sourceState = SourceState::Failed;
        return -1;
    }
    const size_t gotBytes = static_cast<size_t>(got);
    const size_t zeroBytes = static_cast<size_t>(std::clamp<int64_t>(zeros, 0, got));
    TW_ASSERT(std::all_of(out, out + zeroBytes, [](uint8_t b) { return b == 0; }));
    // A read that ran from data into a hole ends in its first zeros: when the source
    // has more of the hole next, they are kept as the hole's start.
    size_t zerosAtEnd = 0;
    while (zerosAtEnd < gotBytes - zeroBytes && out[gotBytes - 1 - zerosAtEnd] == 0)
        ++zerosAtEnd;
    if (zerosAtEnd > 0 && (gotBytes < count || m_source.zerosAhead() == 0))
        zerosAtEnd = 0;
    if (!keepZeros(static_cast<int64_t>(zeroBytes)) || !keepData(out + zeroBytes, gotBytes - zeroBytes - zerosAtEnd)
        || !keepZeros(static_cast<int64_t>(zerosAtEnd))) {
        failKeeping();
        return -1;
    }
    if (gotBytes < count)
        m_sourceState = SourceState::Ended;
    m_pos = m_end;
    return got;
}

bool KeptBytes::readKept(uint8_t* out, size_t count)
{
    TW_ASSERT(m_pos + static_cast<int64_t>(count) <= m_end);
    const auto memoryEnd = static_cast<int64_t>(m_memory.size());
    if (m_pos < memoryEnd) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), memoryEnd - m_pos));
        std::memcpy(out, m_memory.data() + m_pos, n);
        out += n;
        count -= n;
    }
    if (count == 0)
        return true;
    const int64_t fileOffset = std::max(m_pos, memoryEnd) - static_cast<int64_t>(m_memoryBytes);
    if (!seekSpill(fileOffset))
        return false;
    const int64_t got = m_spill->read(out, count);
    if (got != static_cast<int64_t>(count)) {
        // Not what was written: the kept bytes cannot be trusted from here on.
        m_spillPos = -1;
        m_keepingFailed = true;
        return false;
    }
    m_spillPos += got;
    return true;
}

int64_t KeptBytes::zerosAhead()
{
    if (m_pos == m_end)
        return m_sourceState == SourceState::Open ? m_source.zerosAhead() : 0;
    const Hole* hole = holeAtPosition();
    if (!hole)
        return 0;
    int64_t zeros = hole->end - m_pos;
    // A pass before stopped inside a hole: the rest of it is still the source's.
    if (hole->end == m_end && m_sourceState == SourceState::Open)
        zeros += m_source.zerosAhead();
    return zeros;
}

void KeptBytes::skipZeros(int64_t count)
{
    if (count <= 0)
        return;
    const int64_t inKept = std::min(count, m_end - m_pos);
    TW_ASSERT(inKept == 0 || (holeAtPosition() && holeAtPosition()->end >= m_pos + inKept));
    m_pos += inKept;
    count -= inKept;
    if (count == 0 || m_sourceState != SourceState::Open)
        return;
    m_source.skipZeros(count);
    if (!keepZeros(count))
        failKeeping(); // the next read reports it
    m_pos = m_end;
}

const KeptBytes::Hole* KeptBytes::holeAtPosition()
{
    while (m_holeCursor < m_holes.size() && m_holes[m_holeCursor].end <= m_pos)
        ++m_holeCursor;
    if (m_holeCursor == m_holes.size() || m_holes[m_holeCursor].start > m_pos)
        return nullptr;
    return &m_holes[m_holeCursor];
}

bool KeptBytes::keepData(const uint8_t* data, size_t count)
{
    if (count == 0)
        return true;
    const auto memoryBytes = static_cast<int64_t>(m_memoryBytes);
    if (m_end < memoryBytes) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), memoryBytes - m_end));
        growMemory(m_memory.size() + n);
        std::memcpy(m_memory.data() + m_end, data, n);
        m_end += static_cast<int64_t>(n);
        data += n;
        count -= n;
        if (count == 0)
            return true;
    }
    if (!seekSpill(m_end - memoryBytes))
        return false;
    if (!m_spill->write(data, count)) {
        m_spillPos = -1;
        return false;
    }
    m_spillPos += static_cast<int64_t>(count);
    m_end += static_cast<int64_t>(count);
    return true;
}

bool KeptBytes::keepZeros(int64_t count)
{
    if (count <= 0)
        return true;
    const int64_t start = m_end;
    const auto memoryBytes = static_cast<int64_t>(m_memoryBytes);
    if (m_end < memoryBytes) {
        const int64_t n = std::min(count, memoryBytes - m_end);
        growMemory(m_memory.size() + static_cast<size_t>(n));
        m_end += n;
        count -= n;
    }
    if (!extendSpill(count))
        return false;
    if (!m_holes.empty() && m_holes.back().end == start)
        m_holes.back().end = m_end;
    else if (m_holes.size() < kMaxHoles)
        m_holes.push_back(Hole{start, m_end});
    return true;
}

bool KeptBytes::extendSpill(int64_t count)
{
    TW_ASSERT(count == 0 || m_end >= static_cast<int64_t>(m_memoryBytes));
    if (count == 0)
        return true;
    // Extending the file leaves a hole in it: no data is written or stored. The file's
    // position stays where it was.
    const int64_t fileEnd = m_end - static_cast<int64_t>(m_memoryBytes);
    if (!seekSpill(fileEnd) || !m_spill->truncate(fileEnd + count))
        return false;
    m_end += count;
    return true;
}

void KeptBytes::growMemory(size_t size)
{
    TW_ASSERT(size <= m_memoryBytes);
    // Grows as a vector does, but never beyond the bound.
    if (size > m_memory.capacity())
        m_memory.reserve(std::min(std::max(size, 2 * m_memory.capacity()), m_memoryBytes));
    m_memory.resize(size);
}

bool KeptBytes::seekSpill(int64_t offset)
{
    if (!m_spill) {
        m_spill = m_fs.createScratch("TWK");
        if (!m_spill)
            return false;
        m_spillPos = 0;
    }
    if (m_spillPos == offset)
        return true;
    if (!m_spill->seek(offset)) {
        m_spillPos = -1;
        return false;
    }
    m_spillPos = offset;
    return true;
}

void KeptBytes::failKeeping()
{
    m_sourceState = SourceState::Failed;
    m_keepingFailed = true;
}

} // namespace tw
