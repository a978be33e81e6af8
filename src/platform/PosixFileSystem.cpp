#include "platform/FileSystem.h"
#include "platform/DetachedRemoval.h"
#include "platform/FileOps.h"
#include "platform/PosixFile.h"

#include <chrono>
#include <sys/file.h>
#include <sys/mman.h>
#include <thread>

#include "platform/Environment.h"
#include "platform/LongPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace tw {

namespace {

// One record of getdents64 (the C library declares no type for it).
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Sorts `entries` by name in byte order. Each name's first eight bytes, read as one number,
// decide most comparisons, and only the entries are moved (once each) rather than swapped
// back and forth while sorting: this is a large part of listing a tree. A name holds no
// NUL, so padding a short name with zeros sorts it before the longer names it begins.
void sortByName(std::vector<DirEntry>& entries)
{
    struct Key {
        uint64_t head;
        uint32_t index;
    };
    thread_local std::vector<Key> keys;
    const size_t n = entries.size();
    keys.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string& name = entries[i].name;
        uint64_t head = 0;
        for (size_t k = 0; k < std::min<size_t>(8, name.size()); ++k)
            head |= static_cast<uint64_t>(static_cast<unsigned char>(name[k])) << (56 - 8 * k);
        keys[i] = Key{head, static_cast<uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end(), [&entries](const Key& a, const Key& b) {
        if (a.head != b.head)
            return a.head < b.head;
        // Equal heads: both names are at least eight bytes long (or the same name).
        const std::string_view x = entries[a.index].name, y = entries[b.index].name;
        return x.substr(std::min<size_t>(8, x.size())) < y.substr(std::min<size_t>(8, y.size()));
    });
    // Entry keys[j].index goes to place j: each cycle of that permutation is followed once.
    for (size_t i = 0; i < n; ++i) {
        if (keys[i].index == i)
            continue;
        DirEntry held = std::move(entries[i]);
        size_t j = i;
        for (;;) {
            const size_t from = keys[j].index;
            keys[j].index = static_cast<uint32_t>(j);
            if (from == i) {
                entries[j] = std::move(held);
                break;
            }
            entries[j] = std::move(entries[from]);
            j = from;
        }
    }
}

// The directory of the files last opened through openReadNear.
class PosixDirectoryCursor final : public DirectoryCursor {
public:
    ~PosixDirectoryCursor() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // The descriptor of `dir` (ending in "/"), opened now unless it is the one held;
    // -1 when it cannot be opened.
    int directory(std::string_view dir)
    {
        if (m_fd >= 0 && dir == m_dir)
            return m_fd;
        if (m_fd >= 0)
            ::close(m_fd);
        m_dir.assign(dir);
        // O_PATH: only a handle to open names relative to; it reads nothing.
        m_fd = openLongPath(m_dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
        return m_fd;
    }

private:
    std::string m_dir; // the directory m_fd was opened by
    int m_fd = -1;     // owned, or -1
};

// The file object for a descriptor just opened for reading (or null, with *error set,
// when the open failed and left -1).
std::unique_ptr<File> readingFile(int fd, int64_t size, const std::string& path, int* error)
{
    if (fd < 0) {
        if (error)
            *error = errno;
        return nullptr;
    }
    auto file = std::make_unique<PosixFile>(fd, path);
    file->openedForReading(size);
    return file;
}

// The null device: takes every write and keeps nothing, so nothing needs to be opened.
class NullDeviceFile final : public File {
public:
    explicit NullDeviceFile(std::string path) : m_path(std::move(path)) {}
    int64_t read(void*, size_t) override { return 0; }
    bool write(const void*, size_t count) override
    {
        m_position += static_cast<int64_t>(count);
        return true;
    }
    bool seek(int64_t offset) override
    {
        m_position = offset;
        return offset >= 0;
    }
    int64_t position() override { return m_position; }
    bool truncate(int64_t) override { return true; }
    bool sync() override { return true; }
    const std::string& path() const override { return m_path; }

private:
    std::string m_path;
    int64_t m_position = 0;
};

// `st` (not following links) is the null device, whatever its name.
bool isNullDevice(const struct stat& st)
{
    return S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 && minor(st.st_rdev) == 3;
}

class PosixFileSystem final : public FileSystem {
public:
    bool allowsConcurrentUse() const override { return true; }
    void ownDescriptorsForThisThread() override
    {
        // The thread checker models one descriptor table per process and would take the
        // same number in two tables for a race, so under it the table stays shared.
#if !defined(__SANITIZE_THREAD__)
        thread_local bool own = false;
        // On failure the table stays shared, which is slower but just as correct.
        if (!own)
            own = ::unshare(CLONE_FILES) == 0;
#endif
    }
    std::unique_ptr<DirectoryCursor> newDirectoryCursor() override
    {
        return std::make_unique<PosixDirectoryCursor>();
    }
    std::unique_ptr<File> openReadNear(const std::string& path, DirectoryCursor* cursor, int* error) override
    {
        auto* near = dynamic_cast<PosixDirectoryCursor*>(cursor);
        const size_t slash = path.rfind('/');
        const int dirFd = near && slash != std::string::npos && slash + 1 < path.size()
                              ? near->directory(std::string_view(path).substr(0, slash + 1))
                              : -1;
        if (dirFd < 0)
            return openRead(path, error);
        int64_t size = 0;
        const int fd = openRegularFileAt(dirFd, path.c_str() + slash + 1, O_RDONLY | O_CLOEXEC, &size);
        return readingFile(fd, size, path, error);
    }
    std::unique_ptr<File> openRead(const std::string& path, int* error) override
    {
        int64_t size = 0;
        const int fd = openRegularFile(path, O_RDONLY | O_CLOEXEC, 0, &size);
        return readingFile(fd, size, path, error);
    }
    std::unique_ptr<File> openReadWithStatus(const std::string& path, FileStatus* status, PreciseTimes* times,
                                             int* error) override
    {
        // One statx on the new descriptor is both the regular-file check and the status.
        const int fd = openLongPath(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        const bool got = fd >= 0 && statxInto(fd, "", AT_EMPTY_PATH, status, times);
        if (fd >= 0 && (!got || !status->isRegular)) {
            const int err = got ? EINVAL : errno;
            ::close(fd);
            errno = err;
            return readingFile(-1, 0, path, error);
        }
        return readingFile(fd, status->size, path, error);
    }
    std::unique_ptr<File> openForRewrite(const std::string& path, int lockWaitMs, FileStatus* status,
                                         int* error) override
    {
        const int fd = openLongPath(path, O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        auto file = std::make_unique<PosixFile>(fd, path);
        // The lock first, then one statx: the status the lock protects, and the
        // regular-file check. F_SETFL only sets the status flags, so clearing O_NONBLOCK
        // needs no F_GETFL first: the other settable flags were not asked for.
        const int failure = !file->lockExclusive(lockWaitMs)                  ? EWOULDBLOCK
                            : !file->status(status) || !status->isRegular     ? EINVAL
                            : ::fcntl(fd, F_SETFL, O_RDWR) != 0               ? errno
                                                                              : 0;
        if (failure == 0)
            return file;
        if (error)
            *error = failure;
        return nullptr;
    }
    std::unique_ptr<File> openWrite(const std::string& path, bool create, bool truncate, int* error) override
    {
        const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0) | (truncate ? O_TRUNC : 0);
        const int fd = openRegularFile(path, flags, 0666);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd, path);
    }
    std::unique_ptr<File> createNew(const std::string& path, uint32_t mode, int* error) override
    {
        const int fd = openRegularFile(path, O_RDWR | O_CLOEXEC | O_CREAT | O_EXCL, mode & 07777);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd, path);
    }
    std::unique_ptr<File> openOutput(const std::string& path, int* error) override
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && isNullDevice(st))
            return std::make_unique<NullDeviceFile>(path);
        return openWrite(path, true, true, error);
    }
    std::unique_ptr<File> createTemp(const std::string& prefix, int* error) override
    {
        std::string name = temporaryDirectory() + prefix + "XXXXXX";
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd, name);
    }
    bool status(const std::string& path, FileStatus* out, bool followLinks) override
    {
        return statxInto(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW, out);
    }
    std::unique_ptr<File> createMemoryScratch(const std::string& prefix, int* error) override
    {
        const int fd = ::memfd_create(prefix.c_str(), MFD_CLOEXEC);
        if (fd >= 0)
            return std::make_unique<PosixFile>(fd, "memory:" + prefix);
        return createScratch(prefix, error);
    }
    std::unique_ptr<File> createScratch(const std::string& prefix, int* error) override
    {
        const std::string dir = temporaryDirectory();
        // An unnamed file in the temporary directory; where the file system cannot do
        // that, a named one that is removed at once.
        int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return std::make_unique<PosixFile>(fd, dir + prefix + " (unnamed)");
        auto file = createTemp(prefix, error);
        if (file)
            ::unlink(file->path().c_str());
        return file;
    }
    bool listDirectory(const std::string& path, std::vector<DirEntry>* out) override
    {
        // Opened by descriptor so that a directory of any depth can be listed, and read
        // with getdents64 straight into a buffer of this thread: no directory stream, so
        // no calls beyond open, the reads and close. The entries of `out` are reused, so
        // that their names keep their capacity from one directory to the next.
        const int fd = openLongPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            out->clear();
            return false;
        }
        thread_local std::vector<char> buffer(32 * 1024);
        size_t count = 0;
        bool ok = true;
        for (;;) {
            const long got = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            if (got == 0)
                break;
            for (long pos = 0; pos < got;) {
                const auto* e = reinterpret_cast<const LinuxDirent64*>(buffer.data() + pos);
                pos += e->d_reclen;
                const char* n = e->d_name;
                if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                    continue;
                unsigned char t = e->d_type;
                if (t == DT_UNKNOWN) {
                    struct stat st {};
                    if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0)
                        t = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
                }
                if (count == out->size())
                    out->emplace_back();
                DirEntry& entry = (*out)[count++];
                entry.name.assign(n);
                entry.type = t == DT_REG ? EntryType::File : t == DT_DIR ? EntryType::Directory
                           : t == DT_LNK ? EntryType::Symlink : EntryType::Other;
            }
        }
        ::close(fd);
        out->resize(count);
        if (!ok) {
            out->clear();
            return false;
        }
        sortByName(*out);
        return true;
    }
    bool removeFile(const std::string& path) override { return unlinkLongPath(path) == 0; }
    void removeKnownFiles(const std::vector<KnownFile>& files) override
    {
        // Names too long for one system call are removed here, by parts of the path.
        std::vector<KnownFile> detached, here;
        for (const KnownFile& file : files)
            (fitsOneCall(file.path) ? detached : here).push_back(file);
        if (!detached.empty() && !removeInDetachedProcess(detached))
            here.insert(here.end(), detached.begin(), detached.end());
        FileSystem::removeKnownFiles(here);
    }
};

} // namespace

// The calls made for every file searched, straight to the kernel: the C library's own
// wrappers of read, openat and close are cancellation points, which in a process with
// threads costs two more calls around each. Nothing here uses thread cancellation.
// The thread checker follows descriptors through the C library's calls only, so under it
// they stay.
namespace {
#if defined(__SANITIZE_THREAD__)
ssize_t readDirect(int fd, void* buffer, size_t count)
{
    return ::read(fd, buffer, count);
}
int openAtDirect(int dirFd, const char* name, int flags)
{
    return ::openat(dirFd, name, flags);
}
void closeDirect(int fd)
{
    ::close(fd);
}
#else
ssize_t readDirect(int fd, void* buffer, size_t count)
{
    return ::syscall(SYS_read, fd, buffer, count);
}
int openAtDirect(int dirFd, const char* name, int flags)
{
    return static_cast<int>(::syscall(SYS_openat, dirFd, name, flags, 0));
}
void closeDirect(int fd)
{
    ::syscall(SYS_close, fd);
}
#endif
} // namespace

PosixFile::~PosixFile()
{
    if (m_fd >= 0)
        closeDirect(m_fd);
}

PosixFile& PosixFile::operator=(PosixFile&& o) noexcept
{
    if (this != &o) {
        if (m_fd >= 0)
            closeDirect(m_fd);
        m_fd = std::exchange(o.m_fd, -1);
        m_path = std::move(o.m_path);
        m_offset = std::exchange(o.m_offset, -1);
        m_end = std::exchange(o.m_end, -1);
        m_tracksEnd = std::exchange(o.m_tracksEnd, false);
    }
    return *this;
}

int64_t PosixFile::read(void* buffer, size_t count)
{
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = readDirect(m_fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_offset = -1;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
        if (m_offset >= 0) {
            m_offset += n;
            if (m_offset == m_end)
                break;
        }
    }
    return static_cast<int64_t>(done);
}

int64_t PosixFile::readAt(void* buffer, size_t count, int64_t offset)
{
    // Touches neither the offset nor what this object knows of it: another thread may
    // write through the same object meanwhile.
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset) + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool PosixFile::write(const void* data, size_t count)
{
    const auto* in = static_cast<const char*>(data);
    m_offset = -1;
    while (count > 0) {
        const ssize_t n = ::write(m_fd, in, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        in += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool PosixFile::seek(int64_t offset)
{
    if (offset >= 0 && offset == m_offset)
        return true;
    const bool moved = ::lseek(m_fd, offset, SEEK_SET) == offset;
    m_offset = moved ? offset : -1;
    return moved;
}

int64_t PosixFile::position()
{
    return m_offset >= 0 ? m_offset : ::lseek(m_fd, 0, SEEK_CUR);
}

bool PosixFile::truncate(int64_t length)
{
    return ::ftruncate(m_fd, length) == 0;
}

bool PosixFile::sync()
{
    return ::fsync(m_fd) == 0;
}

bool PosixFile::status(FileStatus* out)
{
    if (!statxInto(m_fd, "", AT_EMPTY_PATH, out))
        return false;
    if (m_tracksEnd)
        m_end = out->size > 0 ? out->size : -1;
    return true;
}

bool PosixFile::lockExclusive(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool PosixFile::setMode(uint32_t mode)
{
    return ::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) == 0;
}

bool PosixFile::setTimes(const PreciseTimes& t)
{
    timespec ts[2];
    toTimespecs(t, ts);
    return ::futimens(m_fd, ts) == 0;
}

bool PosixFile::readTimes(PreciseTimes* out)
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    *out = timesOf(st);
    return true;
}

PreciseTimes timesOf(const struct stat& st)
{
    PreciseTimes t;
    t.lastWriteSec = st.st_mtim.tv_sec;
    t.lastWriteNsec = st.st_mtim.tv_nsec;
    t.lastAccessSec = st.st_atim.tv_sec;
    t.lastAccessNsec = st.st_atim.tv_nsec;
    return t;
}

void toTimespecs(const PreciseTimes& t, struct timespec ts[2])
{
    ts[0].tv_sec = static_cast<time_t>(t.lastAccessSec);
    ts[0].tv_nsec = static_cast<long>(t.lastAccessNsec);
    ts[1].tv_sec = static_cast<time_t>(t.lastWriteSec);
    ts[1].tv_nsec = static_cast<long>(t.lastWriteNsec);
}

namespace {

// The checks of openRegularFile on a descriptor just opened (or -1 from the open).
int keepIfRegular(int fd, int flags, int64_t* size)
{
    if (fd < 0)
        return -1;
    int err = 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (!S_ISREG(st.st_mode)) {
        err = EINVAL;
    } else if (size) {
        *size = st.st_size;
    }
    if (err == 0 && (flags & O_ACCMODE) != O_RDONLY) {
        // O_NONBLOCK only kept the open from waiting on a FIFO. Reads of a regular file
        // never wait for it, so a file opened for reading keeps the flag and saves two
        // calls per file; one opened for writing gets plain blocking writes back. F_SETFL
        // sets only the status flags, all of which come from `flags`: no F_GETFL needed.
        if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            err = errno;
    }
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

} // namespace

int openRegularFile(const std::string& path, int flags, unsigned mode, int64_t* size)
{
    return keepIfRegular(openLongPath(path, flags | O_NOFOLLOW | O_NONBLOCK, static_cast<mode_t>(mode)), flags, size);
}

int openRegularFileAt(int dirFd, const char* name, int flags, int64_t* size)
{
    return keepIfRegular(openAtDirect(dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK), flags, size);
}

bool statxInto(int dirFd, const char* path, int flags, FileStatus* out, PreciseTimes* times)
{
    struct statx sx {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    flags |= AT_STATX_SYNC_AS_STAT;
    if ((dirFd == AT_FDCWD ? statxLongPath(path, flags, mask, &sx) : ::statx(dirFd, path, flags, mask, &sx)) != 0)
        return false;
    out->isDirectory = S_ISDIR(sx.stx_mode);
    out->isSymlink = S_ISLNK(sx.stx_mode);
    out->isRegular = S_ISREG(sx.stx_mode);
    out->size = static_cast<int64_t>(sx.stx_size);
    out->mode = sx.stx_mode & 07777;
    out->device = (static_cast<uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    out->inode = sx.stx_ino;
    auto conv = [](const struct statx_timestamp& t) { return toFileTime(t.tv_sec, t.tv_nsec); };
    out->lastWrite = conv(sx.stx_mtime);
    out->lastAccess = conv(sx.stx_atime);
    out->change = conv(sx.stx_ctime);
    out->creation = (sx.stx_mask & STATX_BTIME) ? conv(sx.stx_btime) : 0;
    if (times) {
        times->lastWriteSec = sx.stx_mtime.tv_sec;
        times->lastWriteNsec = sx.stx_mtime.tv_nsec;
        times->lastAccessSec = sx.stx_atime.tv_sec;
        times->lastAccessNsec = sx.stx_atime.tv_nsec;
    }
    return true;
}

bool syncFileSystemOf(const std::string& path)
{
    const int fd = openLongPath(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

FileSystem& realFileSystem()
{
    static PosixFileSystem fs;
    return fs;
}

} // namespace tw
