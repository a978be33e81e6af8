#pragma once
// The bytes of one input kept for reading again: an archive member that several pairs
// search is read from the archive once, kept as it is read, and every later pair reads
// the kept bytes. Up to a bound they stay in memory, beyond it in an unnamed temporary
// file (nothing is left behind however the program ends), so memory stays bounded
// whatever the member's size. A keeper is reused from input to input: clear() keeps its
// memory and its temporary file.
#include "core/ByteSource.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tw {

class KeptBytes {
public:
    explicit KeptBytes(FileSystem& fs, size_t memoryBytes = kMemoryBytes) : m_fs(fs), m_memoryBytes(memoryBytes) {}

    // Forgets the kept bytes.
    void clear();
    // Keeps `count` more bytes (or zeros); false when the temporary file could not be made
    // or written (the keeper is then failed until cleared).
    [[nodiscard]] bool append(const void* data, size_t count);
    [[nodiscard]] bool appendZeros(int64_t count);
    int64_t size() const { return static_cast<int64_t>(m_memory.size()) + m_spilled; }
    bool failed() const { return m_failed; }

    // Reads the kept bytes from their start.
    class Reader final : public ByteSource {
    public:
        explicit Reader(KeptBytes& kept) : m_kept(kept) {}
        int64_t read(void* buffer, size_t count) override;

    private:
        KeptBytes& m_kept;
        int64_t m_position = 0;
    };

    // Passes `upstream` on and keeps what it hands out. A failure to keep ends the read
    // as a read error (keepFailed()).
    class Tee final : public ByteSource {
    public:
        Tee(ByteSource& upstream, KeptBytes& kept) : m_upstream(upstream), m_kept(kept) {}
        int64_t read(void* buffer, size_t count) override;
        int64_t zerosAhead() override { return m_upstream.zerosAhead(); }
        void skipZeros(int64_t count) override;
        // Reads the rest of the upstream into the keeper; false on a read or keep failure.
        bool drain();
        bool keepFailed() const { return m_keepFailed; }

    private:
        ByteSource& m_upstream;
        KeptBytes& m_kept;
        bool m_keepFailed = false;
    };

    static constexpr size_t kMemoryBytes = 4u << 20;

private:
    FileSystem& m_fs;
    size_t m_memoryBytes;
    // Invariant: m_memory holds the first bytes, at most m_memoryBytes of them; the next
    // m_spilled bytes are at the start of m_spill (only when m_memory is full).
    std::string m_memory;
    std::unique_ptr<File> m_spill;
    int64_t m_spilled = 0;
    bool m_failed = false;
};

} // namespace tw
