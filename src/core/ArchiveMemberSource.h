#pragma once
// The data of the archive member an ArchiveReader stands at, as the per-file scan reads
// it: forwards, in the scan's own blocks, straight from the decoder. Nothing is unpacked
// to disk and memory stays bounded however far the member expands. The holes of a sparse
// member are offered to the scan as zeros it may pass over, and a member that expands
// beyond `limit` bytes, whatever its header claimed, ends as a read error (overLimit()).
#include "core/ByteSource.h"
#include "platform/ArchiveReader.h"

#include <cstdint>
#include <limits>

namespace tw {

class ArchiveMemberSource final : public ByteSource {
public:
    explicit ArchiveMemberSource(ArchiveReader& reader, int64_t limit = std::numeric_limits<int64_t>::max())
        : m_reader(reader), m_limit(limit)
    {
    }
    int64_t read(void* buffer, size_t count) override
    {
        const int64_t got = m_reader.read(buffer, count);
        if (got > 0 && m_reader.memberOffset() > m_limit) {
            m_overLimit = true;
            return -1;
        }
        return got;
    }
    int64_t zerosAhead() override { return m_reader.holeAhead(); }
    void skipZeros(int64_t count) override { m_reader.skipHole(count); }
    bool overLimit() const { return m_overLimit; }

private:
    ArchiveReader& m_reader;
    int64_t m_limit;
    bool m_overLimit = false;
};

} // namespace tw
