#pragma once
// The data of the archive member an ArchiveReader stands at, as the per-file scan reads
// it: forwards, in the scan's own blocks, straight from the decoder. Nothing is unpacked
// to disk and memory stays bounded however far the member expands.
#include "core/ByteSource.h"
#include "platform/ArchiveReader.h"

namespace tw {

class ArchiveMemberSource final : public ByteSource {
public:
    explicit ArchiveMemberSource(ArchiveReader& reader) : m_reader(reader) {}
    int64_t read(void* buffer, size_t count) override { return m_reader.read(buffer, count); }

private:
    ArchiveReader& m_reader;
};

} // namespace tw
