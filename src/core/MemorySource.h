#pragma once
// Bytes already in memory read as a source: a file read once and kept for the pairs that
// scan it after that read.
#include "core/ByteSource.h"
#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace tw {

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    int64_t read(void* buffer, size_t count) override
    {
        TW_ASSERT(m_pos <= m_size);
        const size_t n = std::min(count, m_size - m_pos);
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return static_cast<int64_t>(n);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0; // invariant: m_pos <= m_size
};

} // namespace tw
