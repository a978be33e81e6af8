#include "core/KeptBytes.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace tw {

void KeptBytes::clear()
{
    m_memory.clear();
    m_spilled = 0;
    m_failed = false;
}

bool KeptBytes::append(const void* data, size_t count)
{
    if (m_failed)
        return false;
    const char* bytes = static_cast<const char*>(data);
    if (m_spilled == 0 && m_memory.size() < m_memoryBytes) {
        const size_t inMemory = std::min(count, m_memoryBytes - m_memory.size());
        m_memory.append(bytes, inMemory);
        bytes += inMemory;
        count -= inMemory;
    }
    if (count == 0)
        return true;
    TW_ASSERT(m_memory.size() == m_memoryBytes);
    if (!m_spill)
        m_spill = m_fs.createScratch("TWK");
    m_failed = !m_spill || !m_spill->seek(m_spilled) || !m_spill->write(bytes, count);
    if (!m_failed)
        m_spilled += static_cast<int64_t>(count);
    return !m_failed;
}

bool KeptBytes::appendZeros(int64_t count)
{
    static const char kZeros[65536] = {};
    while (count > 0) {
        const size_t piece = static_cast<size_t>(std::min<int64_t>(count, sizeof kZeros));
        if (!append(kZeros, piece))
            return false;
        count -= static_cast<int64_t>(piece);
    }
    return true;
}

int64_t KeptBytes::Reader::read(void* buffer, size_t count)
{
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    const int64_t inMemory = static_cast<int64_t>(m_kept.m_memory.size());
    if (m_position < inMemory) {
        done = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), inMemory - m_position));
        std::memcpy(out, m_kept.m_memory.data() + m_position, done);
        m_position += static_cast<int64_t>(done);
    }
    const int64_t inFile = m_kept.size() - m_position;
    if (done == count || inFile <= 0)
        return static_cast<int64_t>(done);
    const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count - done), inFile));
    if (!m_kept.m_spill->seek(m_position - inMemory) ||
        m_kept.m_spill->read(out + done, want) != static_cast<int64_t>(want))
        return -1;
    m_position += static_cast<int64_t>(want);
    return static_cast<int64_t>(done + want);
}

int64_t KeptBytes::Tee::read(void* buffer, size_t count)
{
    if (m_keepFailed)
        return -1;
    const int64_t got = m_upstream.read(buffer, count);
    if (got > 0 && !m_kept.append(buffer, static_cast<size_t>(got))) {
        m_keepFailed = true;
        return -1;
    }
    return got;
}

void KeptBytes::Tee::skipZeros(int64_t count)
{
    m_upstream.skipZeros(count);
    if (!m_kept.appendZeros(count))
        m_keepFailed = true; // the next read reports it
}

bool KeptBytes::Tee::drain()
{
    char block[65536];
    for (;;) {
        if (const int64_t zeros = zerosAhead(); zeros > 0)
            skipZeros(zeros);
        if (m_keepFailed)
            return false;
        const int64_t got = read(block, sizeof block);
        if (got <= 0)
            return got == 0;
    }
}

} // namespace tw
