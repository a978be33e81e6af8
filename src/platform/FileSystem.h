#pragma once
// The small interface between the program and the file system. Everything above the
// platform layer reaches files only through it, so tests can substitute a faulty one.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// 64-bit file time: 100-nanosecond ticks since 1601-01-01 UTC.
using FileTime = int64_t;
inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
inline constexpr int64_t kFileTimeEpochToUnixSeconds = 11644473600LL; // 1601-01-01 to 1970-01-01

struct FileStatus {
    bool isDirectory = false;
    bool isSymlink = false; // only set by a status call that does not follow links
    bool isRegular = false;
    int64_t size = 0;
    uint32_t mode = 0;      // permission bits
    uint64_t device = 0;    // the file system the file lives on
    uint64_t inode = 0;     // with `device`, names the file itself
    FileTime lastWrite = 0;
    FileTime lastAccess = 0;
    FileTime change = 0;    // last status change (content, mode, links); cannot be set
    FileTime creation = 0;  // 0 when the file system does not keep it
};

// A file to remove, named with the identity it had when it was listed: a file put in its
// place since is not removed.
struct KnownFile {
    std::string path;
    uint64_t device = 0, inode = 0;
};

// Both statuses describe the same file (device and inode).
inline bool sameFile(const FileStatus& a, const FileStatus& b)
{
    return a.device == b.device && a.inode == b.inode;
}

// `now` is the file `before` was taken of, and nobody changed it in between: same file,
// same size, same modification and change times.
inline bool unchangedSince(const FileStatus& before, const FileStatus& now)
{
    return sameFile(before, now) && before.size == now.size && before.lastWrite == now.lastWrite
        && before.change == now.change;
}

// Last-write and last-access times with full nanosecond precision, as the file system
// keeps them. Creation time is not here: it cannot be set on Linux.
struct PreciseTimes {
    int64_t lastWriteSec = 0;
    int64_t lastWriteNsec = 0;
    int64_t lastAccessSec = 0;
    int64_t lastAccessNsec = 0;
};

enum class EntryType { File, Directory, Symlink, Other };

struct DirEntry {
    std::string name;
    EntryType type = EntryType::Other;
};

// An open file. Offsets are 64-bit; every call reports failure by its return value.
class File {
public:
    virtual ~File() = default;
    // Bytes read (0 at end of file) or -1 on error.
    [[nodiscard]] virtual int64_t read(void* buffer, size_t count) = 0;
    // Reads at `offset` as read() there would, without moving the position. A file of the
    // platform reads with positioned calls, so that another thread may read a part of the
    // file this way while its owner writes further on; this stand-in seeks and reads, and
    // is for files that only one thread uses.
    [[nodiscard]] virtual int64_t readAt(void* buffer, size_t count, int64_t offset)
    {
        return seek(offset) ? read(buffer, count) : -1;
    }
    // All of `count` bytes written, or false.
    [[nodiscard]] virtual bool write(const void* data, size_t count) = 0;
    [[nodiscard]] virtual bool seek(int64_t offset) = 0;
    [[nodiscard]] virtual int64_t position() = 0;
    [[nodiscard]] virtual bool truncate(int64_t length) = 0;
    [[nodiscard]] virtual bool sync() = 0;
    virtual const std::string& path() const = 0;

    // Operations on the open file itself, so that a name swapped for another file or a
    // link meanwhile cannot redirect them. Files that cannot do them say false.
    // The status of the open file (fstat).
    [[nodiscard]] virtual bool status(FileStatus* out)
    {
        (void)out;
        return false;
    }
    // An exclusive advisory lock (flock) on the file, waiting at most `timeoutMs`
    // milliseconds for another holder; released when the file is closed. Other Tarnwick
    // runs take the same lock before they rewrite a file.
    [[nodiscard]] virtual bool lockExclusive(int timeoutMs)
    {
        (void)timeoutMs;
        return false;
    }
    [[nodiscard]] virtual bool setMode(uint32_t mode)
    {
        (void)mode;
        return false;
    }
    [[nodiscard]] virtual bool setTimes(const PreciseTimes& times)
    {
        (void)times;
        return false;
    }
    [[nodiscard]] virtual bool readTimes(PreciseTimes* out)
    {
        (void)out;
        return false;
    }
};

// Holds the directory of the file last opened through it (FileSystem::openReadNear), so
// that the next file of the same directory is opened relative to it: the system then
// looks up one name rather than every component of the path again. Files opened in walk
// order mostly share their directory with the one before. A cursor keeps at most one
// directory open, until it is destroyed; it belongs to one thread.
class DirectoryCursor {
public:
    virtual ~DirectoryCursor() = default;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Both opens refuse a symbolic link as the last component and anything that is not a
    // regular file (a FIFO or device swapped in never blocks the run).
    // On failure the result is null and *error (when given) holds errno.
    [[nodiscard]] virtual std::unique_ptr<File> openRead(const std::string& path, int* error = nullptr) = 0;
    // Gives the calling thread a descriptor table of its own (the first call on a thread;
    // later ones do nothing). For a worker that opens, reads and closes its own files: the
    // kernel then takes no lock and no reference on a table shared with other threads for
    // each of those calls. Afterwards a descriptor opened on this thread is valid on this
    // thread only, and one opened on another thread is not valid here: such a thread closes
    // everything it opened before it ends, and uses no handle opened elsewhere later.
    virtual void ownDescriptorsForThisThread() {}
    // Whether two threads may use this file system (and files opened through it) at the
    // same time, each on files of its own. Stand-ins for tests that count or fail calls in
    // order say no, and their callers then keep to one thread.
    virtual bool allowsConcurrentUse() const { return false; }
    // A cursor for openReadNear; null when this file system has none.
    [[nodiscard]] virtual std::unique_ptr<DirectoryCursor> newDirectoryCursor() { return nullptr; }
    // As openRead, through `cursor` (null, or one made by this file system).
    [[nodiscard]] virtual std::unique_ptr<File> openReadNear(const std::string& path, DirectoryCursor* cursor,
                                                             int* error = nullptr)
    {
        (void)cursor;
        return openRead(path, error);
    }
    // As openRead, and the open file's status and precise times are taken on the new
    // descriptor, as File::status and File::readTimes right after the open would take them.
    [[nodiscard]] virtual std::unique_ptr<File> openReadWithStatus(const std::string& path, FileStatus* status,
                                                                   PreciseTimes* times, int* error = nullptr)
    {
        auto file = openRead(path, error);
        if (file && (!file->status(status) || !file->readTimes(times))) {
            if (error)
                *error = EIO;
            return nullptr;
        }
        return file;
    }
    // Opens an existing regular file to rewrite it in place: for reading and writing, no
    // link followed, never waiting on a FIFO. The file's exclusive lock (File::lockExclusive)
    // is then taken, waiting at most `lockWaitMs`, and only then its status on the
    // descriptor, so that the status is the one the lock protects. On failure the result
    // is null and *error (when given) holds EWOULDBLOCK when the lock could not be had,
    // EINVAL when the file is not a regular one, or else the errno of the open.
    [[nodiscard]] virtual std::unique_ptr<File> openForRewrite(const std::string& path, int lockWaitMs,
                                                               FileStatus* status, int* error = nullptr)
    {
        int openError = 0;
        auto file = openWrite(path, false, false, &openError);
        const int failure = !file                          ? openError
                            : !file->lockExclusive(lockWaitMs) ? EWOULDBLOCK
                            : !file->status(status)            ? EINVAL
                                                               : 0;
        if (failure == 0)
            return file;
        if (error)
            *error = failure;
        return nullptr;
    }
    // Opens for reading and writing; `truncate` empties the file, `create` makes it.
    [[nodiscard]] virtual std::unique_ptr<File> openWrite(const std::string& path, bool create, bool truncate,
                                            int* error = nullptr) = 0;
    // Opens a file that results are written to (an output file, a results page): as
    // openWrite(path, true, true), or, when `path` is the null device, a file that takes
    // every write and keeps nothing. Any other device, a FIFO or a link stays refused.
    [[nodiscard]] virtual std::unique_ptr<File> openOutput(const std::string& path, int* error = nullptr)
    {
        return openWrite(path, true, true, error);
    }
    // Creates `path` as a new regular file, open for reading and writing, with permission
    // bits `mode`. Fails (EEXIST) when anything already has the name, a link included, so
    // nothing planted there beforehand is ever written through.
    [[nodiscard]] virtual std::unique_ptr<File> createNew(const std::string& path, uint32_t mode, int* error = nullptr)
    {
        (void)path;
        (void)mode;
        if (error)
            *error = ENOTSUP;
        return nullptr;
    }
    // As createScratch, but kept in memory: for content that never needs to reach the disk
    // and whose size the caller bounds. Where memory files are not to be had, a scratch file.
    [[nodiscard]] virtual std::unique_ptr<File> createMemoryScratch(const std::string& prefix, int* error = nullptr)
    {
        return createScratch(prefix, error);
    }
    // A new unique temporary file in the temporary directory whose name starts with `prefix`.
    [[nodiscard]] virtual std::unique_ptr<File> createTemp(const std::string& prefix, int* error = nullptr) = 0;
    // A temporary file without a name: it disappears with its last handle, whatever way
    // the program ends. Its path() is only a description; never open or remove it by name.
    [[nodiscard]] virtual std::unique_ptr<File> createScratch(const std::string& prefix, int* error = nullptr)
    {
        auto file = createTemp(prefix, error);
        if (file)
            removeFile(file->path());
        return file;
    }
    [[nodiscard]] virtual bool status(const std::string& path, FileStatus* out, bool followLinks = true) = 0;
    // Entries of a directory sorted by name (byte order), without "." and "..".
    [[nodiscard]] virtual bool listDirectory(const std::string& path, std::vector<DirEntry>* out) = 0;
    // Not [[nodiscard]]: most removals are clean-up of temporary files that has no better
    // fallback than leaving the file; callers that depend on the removal check the result.
    virtual bool removeFile(const std::string& path) = 0;
    // Removes each of `files` whose name still leads to the file it was listed as. The
    // machine's file system does it in a short-lived process of its own that outlives the
    // caller, so that nobody waits while the file system frees the space; this fallback
    // removes them before it returns.
    virtual void removeKnownFiles(const std::vector<KnownFile>& files)
    {
        FileStatus st;
        for (const KnownFile& file : files)
            if (status(file.path, &st, false) && st.device == file.device && st.inode == file.inode)
                removeFile(file.path); // should it fail, the file is found again later
    }
};

// The real file system of the machine.
FileSystem& realFileSystem();

// `name` is an existing file that is, by identity (not by name), one of the `count` files
// `fileAt` gives.
inline bool isOneOfTheFiles(FileSystem& fs, const std::string& name, size_t count,
                            const std::function<std::string(size_t)>& fileAt)
{
    FileStatus existing, entry;
    if (!fs.status(name, &existing))
        return false;
    for (size_t i = 0; i < count; ++i)
        if (fs.status(fileAt(i), &entry) && sameFile(entry, existing))
            return true;
    return false;
}

// Flushes everything written to the file system that holds `path` to disk (one barrier
// for many files instead of one per file).
[[nodiscard]] bool syncFileSystemOf(const std::string& path);

} // namespace tw
