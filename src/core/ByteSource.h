#pragma once
// What the per-file scan reads: a file, an archive member, a member's kept bytes (KeptBytes,
// when several pairs read one member) or a decoded stream.
// Read forwards only; the scan keeps the overlap between blocks in its own buffer, so no
// source needs to seek.
#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>

namespace tw {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills buffer[0, count) and returns count, or fewer bytes only at the end of the data
    // (0 there); -1 on a read error.
    virtual int64_t read(void* buffer, size_t count) = 0;
    // Zero bytes that the next reads would hand out before anything else and that can be
    // passed over without reading them (the hole of a sparse archive member); 0 when the
    // source knows of none.
    virtual int64_t zerosAhead() { return 0; }
    // Passes over `count` (at most zerosAhead()) of those zero bytes.
    virtual void skipZeros(int64_t count) { (void)count; }
};

// An open file read from its current position on.
class FileSource final : public ByteSource {
public:
    explicit FileSource(File& file) : m_file(file) {}
    int64_t read(void* buffer, size_t count) override { return m_file.read(buffer, count); }

private:
    File& m_file;
};

} // namespace tw
