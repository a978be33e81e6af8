#pragma once
// File-system operations beyond reading and writing: directories, permissions, times,
// renaming, locking and unique names. Kept apart from FileSystem so that code needing
// only reads and writes (and the tests that fake them) stays small.
#include "platform/FileSystem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tw {

// Held while a lock file is locked; unlocking happens on destruction.
class FileLock {
public:
    virtual ~FileLock() = default;
};

class FileOps {
public:
    virtual ~FileOps() = default;
    // Creates one directory level. True when it was created or already is a directory.
    [[nodiscard]] virtual bool makeDirectory(const std::string& path) = 0;
    // Sets the permission bits (the low 12 bits of `mode`).
    [[nodiscard]] virtual bool setMode(const std::string& path, uint32_t mode) = 0;
    [[nodiscard]] virtual bool readTimes(const std::string& path, PreciseTimes* out) = 0;
    [[nodiscard]] virtual bool setTimes(const std::string& path, const PreciseTimes& times) = 0;
    // Sets the last-write time of `path` itself, and its last-access time when
    // `setAccess`; a symbolic link is never followed (a link's own times are set). The
    // base class cannot do this and fails with ENOSYS.
    [[nodiscard]] virtual bool setOwnTimes(const std::string& path, const PreciseTimes& times, bool setAccess)
    {
        (void)path, (void)times, (void)setAccess;
        errno = ENOSYS;
        return false;
    }
    // Sets the permission bits of `path` itself, never through a symbolic link (which
    // fails). The base class cannot do this and fails with ENOSYS.
    [[nodiscard]] virtual bool setOwnMode(const std::string& path, uint32_t mode)
    {
        (void)path, (void)mode;
        errno = ENOSYS;
        return false;
    }
    // Gives the regular file `existing` a second name `newName` (a hard link; both on one
    // file system). `existing` is opened without following a link and must be a regular
    // file; the new name is made for that very file. Fails when `newName` exists (EEXIST),
    // across file systems (EXDEV). The base class cannot do this and fails with ENOSYS.
    [[nodiscard]] virtual bool linkFile(const std::string& existing, const std::string& newName, int* error = nullptr)
    {
        (void)existing, (void)newName;
        if (error)
            *error = ENOSYS;
        return false;
    }
    // Gives the entry `existing` itself a second name `newName` (a hard link made by name,
    // never through a link: a symbolic link there gets the new name itself). Nothing is
    // opened, so nothing can block; the caller checks what the new name leads to. The base
    // class does it as linkFile, which refuses anything but a regular file.
    [[nodiscard]] virtual bool linkEntry(const std::string& existing, const std::string& newName, int* error = nullptr)
    {
        return linkFile(existing, newName, error);
    }
    // Both names lead to the same file (same device and inode).
    [[nodiscard]] virtual bool sameFile(const std::string& a, const std::string& b) = 0;
    // Atomically replaces `to` by `from` (same file system).
    [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
    // Makes the directory's entries (creations, renames) durable.
    [[nodiscard]] virtual bool syncDirectory(const std::string& dir) = 0;
    // Creates a new empty file with a unique name "<dir><prefix>XXXXXX" (mode 0600) and
    // returns its path, or an empty string and *error (when given) set to errno. `dir`
    // ends with "/".
    virtual std::string createUniqueFile(const std::string& dir, const std::string& prefix, int* error = nullptr) = 0;
    // Takes an exclusive advisory lock on `path` (created when missing), waiting at most
    // `timeoutMs` milliseconds (-1: as long as it takes); null on failure or timeout, and
    // then *error (when given) holds errno: EWOULDBLOCK when another holder kept the lock.
    [[nodiscard]] virtual std::unique_ptr<FileLock> lockFile(const std::string& path, int timeoutMs = -1,
                                                             int* error = nullptr) = 0;

    // Creates `root + relative` as a complete new file. The directories of `relative` are
    // made below `root` one level at a time, and none of them may be a symbolic link (the
    // root itself is the user's choice and is followed). The content is written by `fill`
    // into a temporary file in the final directory, which gets `mode` (and `times` when
    // given) and then replaces the name by a rename; when any step fails nothing is left
    // beside the name and an existing file of that name is unchanged. An existing entry of
    // that name that is a link, a directory, not a regular file, or the file `notSameAs`
    // (when given) is refused.
    enum class PlaceResult { Done, DirectoryFailed, WriteFailed };
    [[nodiscard]] virtual PlaceResult placeFile(const std::string& root, const std::string& relative, uint32_t mode,
                                  const PreciseTimes* times, const FileStatus* notSameAs,
                                  const std::function<bool(File&)>& fill) = 0;
    // A cursor that keeps the directory the last placeFileNear through it wrote in open, so
    // that the next file placed in that same directory needs no walk from the root. Null
    // when these operations have none. It belongs to one thread.
    [[nodiscard]] virtual std::unique_ptr<DirectoryCursor> newPlacementCursor() { return nullptr; }
    // As placeFile, through `cursor` (null, or one made by newPlacementCursor).
    [[nodiscard]] virtual PlaceResult placeFileNear(const std::string& root, const std::string& relative, uint32_t mode,
                                                    const PreciseTimes* times, const FileStatus* notSameAs,
                                                    const std::function<bool(File&)>& fill, DirectoryCursor* cursor)
    {
        (void)cursor;
        return placeFile(root, relative, mode, times, notSameAs, fill);
    }
};

// The operations of the real machine.
FileOps& realFileOps();

// Attributes on Linux: read-only means the owner has no write permission; hidden means the
// name starts with "."; system and archive are never set.
inline constexpr uint32_t kOwnerWrite = 0200;
inline bool isReadOnlyMode(uint32_t mode) { return (mode & kOwnerWrite) == 0; }
bool isHiddenName(const std::string& path);

// Conversions between the program's 64-bit file times and precise times.
FileTime toFileTime(int64_t sec, int64_t nsec);
void fromFileTime(FileTime t, int64_t* sec, int64_t* nsec);

} // namespace tw
