#pragma once
// The file object of the POSIX platform layer: one owned descriptor. Shared by the file
// system and the file operations of this layer; nothing above the platform uses it.
#include "platform/FileSystem.h"

#include <string>
#include <sys/stat.h>
#include <utility>

namespace tw {

class PosixFile final : public File {
public:
    PosixFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    // A moved-from file owns no descriptor; only destroying or assigning to it is valid.
    PosixFile(PosixFile&& o) noexcept
        : m_fd(std::exchange(o.m_fd, -1)), m_path(std::move(o.m_path)), m_offset(std::exchange(o.m_offset, -1)),
          m_end(std::exchange(o.m_end, -1)), m_tracksEnd(std::exchange(o.m_tracksEnd, false))
    {
    }
    PosixFile& operator=(PosixFile&& o) noexcept;

    [[nodiscard]] int64_t read(void* buffer, size_t count) override;
    [[nodiscard]] int64_t readAt(void* buffer, size_t count, int64_t offset) override;
    [[nodiscard]] bool write(const void* data, size_t count) override;
    [[nodiscard]] bool seek(int64_t offset) override;
    [[nodiscard]] int64_t position() override;
    [[nodiscard]] bool truncate(int64_t length) override;
    [[nodiscard]] bool sync() override;
    const std::string& path() const override { return m_path; }
    [[nodiscard]] bool status(FileStatus* out) override;
    [[nodiscard]] bool lockExclusive(int timeoutMs) override;
    [[nodiscard]] bool setMode(uint32_t mode) override;
    [[nodiscard]] bool setTimes(const PreciseTimes& times) override;
    [[nodiscard]] bool readTimes(PreciseTimes* out) override;

    // The file was just opened for reading (offset 0) and its status gave `size`. A read
    // that reaches that size returns there, short, without one more call to learn of the
    // end (a regular file's read only comes back short at its end); a later read asks the
    // system again, so bytes added meanwhile are not lost. Each status() call moves the
    // end to the size it reports, so a read stops where the last status taken says the
    // file ends. A size of 0 (a file whose size the system does not know, as under
    // /proc) keeps reading until the system says the end.
    void openedForReading(int64_t size)
    {
        m_offset = 0;
        m_end = size > 0 ? size : -1;
        m_tracksEnd = true;
    }

private:
    int m_fd; // owned; open for the object's lifetime unless moved from (-1)
    std::string m_path;
    // The file offset when known (-1 when not), so that a seek to where the file already
    // stands costs no call. Kept by read and seek; a write forgets it.
    int64_t m_offset = -1;
    // The end the status of the open file gave (-1: none; see openedForReading).
    int64_t m_end = -1;
    bool m_tracksEnd = false; // openedForReading was called
};

// Opens `path` with `flags` plus O_NOFOLLOW and O_NONBLOCK (so a FIFO swapped in cannot
// block), then refuses anything that is not a regular file and clears O_NONBLOCK again.
// Returns the descriptor or -1 with errno set; `size`, when given, receives the file's size.
int openRegularFile(const std::string& path, int flags, unsigned mode = 0666, int64_t* size = nullptr);

// As openRegularFile for `name` in the directory `dirFd` (O_NOFOLLOW applies to `name`).
int openRegularFileAt(int dirFd, const char* name, int flags, int64_t* size = nullptr);

// The precise times kept in a stat result.
PreciseTimes timesOf(const struct stat& st);
// The two timespecs (access, write) that utimensat and futimens take.
void toTimespecs(const PreciseTimes& t, struct timespec ts[2]);

// Fills `out` from a statx result of `fd` (with `path` relative to it, or "" and
// AT_EMPTY_PATH for the descriptor itself), and `times`, when given, from the same result.
bool statxInto(int dirFd, const char* path, int flags, FileStatus* out, PreciseTimes* times = nullptr);

} // namespace tw
