#pragma once
// Keeps what a source hands out, so that the same bytes can be read again from the start
// any number of times. A run with several search/replace pairs reads an archive member
// from the archive once: the first pair's scan reads it through the keeper, and every
// later pair's scan, after rewind(), reads the kept bytes. A pass that goes further than
// every pass before it goes on with the source where they stopped.
//
// The first `memoryBytes` bytes are kept in memory, the rest in a temporary file without
// a name (FileSystem::createScratch), which vanishes with the keeper however the program
// ends. Memory stays bounded by `memoryBytes` plus the record of holes (kMaxHoles).
//
// Everything the source tells the scan is told again on every pass:
// - A read error is kept at the offset where it happened: every pass that reaches that
//   offset fails there as the first did. The source's own state (such as
//   ArchiveMemberSource::overLimit()) stays as the failing read left it, so the caller
//   asks the source as before.
// - The zeros of a hole (ByteSource::zerosAhead) are kept as a run, not as bytes: in the
//   file part as a hole of the temporary file (which the file system stores as no data),
//   in the memory part as zeros, bounded by the memory bound. Later passes are offered
//   the same runs to pass over. Beyond kMaxHoles runs, further holes are still kept as
//   holes of the file but later passes read them as zeros. A hole that a read runs into
//   from data is kept as a hole from its start when the source has more of it next; a
//   hole that lies wholly inside one read, or ends the source, is kept as zeros (at most
//   one read's worth each).
// - Keeping may fail (the temporary file cannot be made, written, extended or read): the
//   read that hit the failure returns -1, and every pass fails at the same offset, as
//   after a read error of the source. Kept bytes are never cut short silently.
#include "core/ByteSource.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tw {

class KeptBytes final : public ByteSource {
public:
    static constexpr size_t kDefaultMemoryBytes = size_t{8} << 20;
    static constexpr size_t kMaxHoles = 65536;

    // Reads `source` forwards from its current position; its offset 0 here is that
    // position. `fs` makes the temporary file once more than `memoryBytes` are kept.
    KeptBytes(ByteSource& source, FileSystem& fs, size_t memoryBytes = kDefaultMemoryBytes);
    KeptBytes(const KeptBytes&) = delete;
    KeptBytes& operator=(const KeptBytes&) = delete;

    int64_t read(void* buffer, size_t count) override;
    int64_t zerosAhead() override;
    void skipZeros(int64_t count) override;

    // The next read starts at offset 0 again.
    void rewind();
    // Offset of the byte the next read hands out.
    int64_t position() const { return m_pos; }
    // Bytes kept so far, holes included.
    int64_t keptSize() const { return m_end; }
    // The source has ended: every byte is kept and the source is no longer read.
    bool complete() const { return m_sourceState == SourceState::Ended; }
    // The source failed (read error) or keeping failed, at offset keptSize(): every pass
    // fails there.
    bool failed() const { return m_sourceState == SourceState::Failed; }
    // The temporary file failed (to be made, written, extended or read back): a read
    // error of the keeper's own, not the source's.
    bool keepingFailed() const { return m_keepingFailed; }
    // Bytes of memory holding kept bytes (at most the memory bound).
    size_t memoryInUse() const { return m_memory.capacity(); }

private:
    enum class SourceState { Open, Ended, Failed };
    struct Hole {
        int64_t start;
        int64_t end;
    };

    int64_t readSource(uint8_t* out, size_t count);
    bool readKept(uint8_t* out, size_t count);
    bool keepData(const uint8_t* data, size_t count);
    bool keepZeros(int64_t count);
    bool extendSpill(int64_t count);
    void growMemory(size_t size);
    bool seekSpill(int64_t offset);
    void failKeeping();
    const Hole* holeAtPosition();

    ByteSource& m_source;
    FileSystem& m_fs;
    size_t m_memoryBytes;

    // Invariants: 0 <= m_pos <= m_end. The kept bytes [0, m_end) are m_memory for
    // [0, min(m_end, m_memoryBytes)) and the temporary file, at offset x - m_memoryBytes,
    // for [m_memoryBytes, m_end); m_memory.size() == min(m_end, m_memoryBytes) and its
    // capacity stays at most m_memoryBytes. The source stands at offset m_end.
    int64_t m_pos = 0;
    int64_t m_end = 0;
    std::vector<uint8_t> m_memory;
    std::unique_ptr<File> m_spill; // made when the first byte beyond m_memoryBytes is kept
    int64_t m_spillPos = 0;        // the temporary file's position; -1 when not known
    SourceState m_sourceState = SourceState::Open;
    bool m_keepingFailed = false;

    // The holes kept, in order, disjoint, none touching the next; all within [0, m_end).
    // Holes before m_holeCursor end at or before m_pos.
    std::vector<Hole> m_holes;
    size_t m_holeCursor = 0;
};

} // namespace tw
