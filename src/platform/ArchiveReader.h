#pragma once
// Reads an archive (zip, 7z, tar and its compressed forms, and whatever else libarchive
// reads) forwards, member by member, through an already open File. Nothing is ever written:
// a member's name is only data to show and match, never a path to open or create.
//
// The file is opened by the caller through FileSystem::openRead, which refuses links and
// anything but a regular file, so a FIFO or device named like an archive is never read.
#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct archive;

namespace tw {

struct ArchiveMember {
    std::string name;      // as stored, any bytes but NUL ("../x", "/etc/p", "a\\b" included)
    int64_t size = 0;      // the size the archive claims (0 when it claims none)
    bool sizeKnown = false;
    FileTime lastWrite = 0; // 0 when the archive keeps no time
    bool isRegular = false;  // a plain file: the only kind whose data is searched
    bool isDirectory = false;
    bool isLink = false;     // symbolic or hard link; never followed
    bool encrypted = false;  // its data (or its header) is encrypted: it cannot be read
    size_t index = 0;        // 0-based position in the archive
};

class ArchiveReader {
public:
    enum class Step { Member, End, Error };

    // Takes the file over. Null with `error` set when libarchive cannot start reading it
    // (the format is not recognised, or the file cannot be read).
    static std::unique_ptr<ArchiveReader> open(std::unique_ptr<File> file, std::string* error);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Moves to the next member; its data not read is skipped. After Error the archive
    // cannot be read further (errorText() says why).
    Step next(ArchiveMember* out);
    // Reads the current member's data forwards: bytes read (0 at its end), or -1 on an
    // error (a truncated or corrupt member, a wrong checksum). Memory stays bounded
    // whatever the member expands to. The holes of a sparse member read as zeros.
    int64_t read(void* buffer, size_t count);
    // The zero bytes of a hole (a gap the archive stores no data for) that the next read
    // would hand out before any stored data; 0 when none is next, or on an error (which
    // the next read reports).
    int64_t holeAhead();
    // Passes over `count` (at most holeAhead()) zero bytes of the hole without handing
    // them out.
    void skipHole(int64_t count);
    // The offset within the member of the byte the next read hands out.
    int64_t memberOffset() const { return m_outOffset; }
    // Whether the current member could still be read after a read error (otherwise the
    // whole archive is lost).
    bool recoverable() const { return !m_fatal; }

    const std::string& errorText() const { return m_error; }
    // The archive file's size when it was opened.
    int64_t archiveSize() const { return m_fileSize; }
    // The part of the archive file consumed so far, 0..1 (for progress).
    double fractionRead() const;

private:
    explicit ArchiveReader(std::unique_ptr<File> file);
    void takeError();
    // Makes the next stored block of the member current, unless one is or the member's
    // data has ended: false on an error.
    bool fetchBlock();

    friend struct ArchiveIo; // libarchive's callbacks, which read m_file

    std::unique_ptr<File> m_file;
    archive* m_archive = nullptr; // owned; open from open() to the destructor
    std::unique_ptr<unsigned char[]> m_block; // what readCallback last handed over
    static constexpr size_t kBlockSize = 65536;
    int64_t m_fileSize = 0;   // the archive file's size when it was opened
    int64_t m_position = 0;   // offset of the next byte readCallback reads
    size_t m_index = 0;       // index the next member gets
    bool m_fatal = false;     // libarchive gave ARCHIVE_FATAL: nothing more can be read
    // The current member's data. The stored block at m_data (m_dataLeft bytes not yet
    // handed out) begins at member offset m_dataOffset; whatever lies between m_outOffset
    // and it is a hole. Once m_dataEnded, m_dataOffset is the member's end.
    const unsigned char* m_data = nullptr;
    size_t m_dataLeft = 0;
    int64_t m_dataOffset = 0;
    int64_t m_outOffset = 0;
    bool m_dataEnded = false;
    std::string m_error;
};

} // namespace tw
