#include "platform/FileOps.h"
#include "platform/PosixFile.h"

#include <chrono>
#include <string>
#include <thread>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

// Owns one descriptor; moves, never copies.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(Descriptor&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    Descriptor& operator=(Descriptor&& o) noexcept
    {
        if (this != &o) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = o.m_fd;
            o.m_fd = -1;
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    bool valid() const { return m_fd >= 0; }
    int get() const { return m_fd; }

private:
    int m_fd; // owned; -1 for none
};

// Holds the lock on its descriptor until destroyed; moves with the descriptor, never copies.
class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int fd) : m_fd(fd) {}
    PosixFileLock(PosixFileLock&&) noexcept = default;
    PosixFileLock& operator=(PosixFileLock&&) noexcept = default;
    ~PosixFileLock() override
    {
        // Closing the descriptor would release the lock as well; unlocking first ends it
        // even while a duplicate of the descriptor lives on in a child process.
        if (m_fd.valid())
            ::flock(m_fd.get(), LOCK_UN);
    }

private:
    Descriptor m_fd; // open and locked; none once moved from
};

class PosixFileOps final : public FileOps {
public:
    bool makeDirectory(const std::string& path) override
    {
        if (::mkdir(path.c_str(), 0777) == 0)
            return true;
        if (errno != EEXIST)
            return false;
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    bool setMode(const std::string& path, uint32_t mode) override
    {
        return ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) == 0;
    }
    bool readTimes(const std::string& path, PreciseTimes* out) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return false;
        *out = timesOf(st);
        return true;
    }
    bool setTimes(const std::string& path, const PreciseTimes& t) override
    {
        timespec ts[2];
        toTimespecs(t, ts);
        return ::utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
    }
    bool setOwnTimes(const std::string& path, const PreciseTimes& t, bool setAccess) override
    {
        timespec ts[2];
        toTimespecs(t, ts);
        if (!setAccess)
            ts[0].tv_nsec = UTIME_OMIT;
        return ::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
    }
    bool setOwnMode(const std::string& path, uint32_t mode) override
    {
        // An O_PATH descriptor names the entry itself; with O_NOFOLLOW it is the link, not
        // what the link leads to, which is refused.
        Descriptor fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0)
            return false;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return false;
        if (S_ISLNK(st.st_mode)) {
            errno = ELOOP;
            return false;
        }
        // The descriptor's entry in /proc leads to the file it was opened on, whatever
        // happens to the name meanwhile.
        const std::string procPath = "/proc/self/fd/" + std::to_string(fd.get());
        return ::chmod(procPath.c_str(), static_cast<mode_t>(mode & 07777)) == 0;
    }
    bool sameFile(const std::string& a, const std::string& b) override
    {
        struct stat sa {}, sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
            return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    bool linkFile(const std::string& existing, const std::string& newName, int* error) override
    {
        // The file is opened first (no link followed, never blocking on a FIFO) and checked
        // on its descriptor; the new name is then made for the descriptor's file itself.
        Descriptor fd(::open(existing.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (error)
                *error = fd.get() >= 0 && st.st_mode != 0 ? EINVAL : errno;
            return false;
        }
        const std::string procPath = "/proc/self/fd/" + std::to_string(fd.get());
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, newName.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (error)
            *error = errno;
        return false;
    }
    bool rename(const std::string& from, const std::string& to) override
    {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    bool syncDirectory(const std::string& dir) override
    {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool ok = ::fsync(fd) == 0;
        ::close(fd);
        return ok;
    }
    std::string createUniqueFile(const std::string& dir, const std::string& prefix, int* error) override
    {
        std::string name = dir + prefix + "XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            if (error)
                *error = errno;
            return {};
        }
        ::close(fd);
        return name;
    }
    std::unique_ptr<FileLock> lockFile(const std::string& path, int timeoutMs, int* error) override
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::flock(fd, timeoutMs < 0 ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK && timeoutMs >= 0 && std::chrono::steady_clock::now() < deadline;
            if (errno != EINTR && !busy) {
                if (error)
                    *error = errno;
                ::close(fd);
                return nullptr;
            }
            if (busy)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::make_unique<PosixFileLock>(fd);
    }
    bool linkEntry(const std::string& existing, const std::string& newName, int* error) override
    {
        // No AT_SYMLINK_FOLLOW: a link at `existing` gets the new name itself.
        if (::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, newName.c_str(), 0) == 0)
            return true;
        if (error)
            *error = errno;
        return false;
    }
    std::unique_ptr<DirectoryCursor> newPlacementCursor() override { return std::make_unique<PlacementCursor>(); }
    PlaceResult placeFile(const std::string& root, const std::string& relative, uint32_t mode,
                          const PreciseTimes* times, const FileStatus* notSameAs,
                          const std::function<bool(File&)>& fill) override
    {
        return placeFileNear(root, relative, mode, times, notSameAs, fill, nullptr);
    }
    PlaceResult placeFileNear(const std::string& root, const std::string& relative, uint32_t mode,
                              const PreciseTimes* times, const FileStatus* notSameAs,
                              const std::function<bool(File&)>& fill, DirectoryCursor* cursor) override
    {
        auto* near = dynamic_cast<PlacementCursor*>(cursor);
        const size_t slash = relative.rfind('/');
        const std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
        if (name.empty() || name == "." || name == "..")
            return PlaceResult::DirectoryFailed;
        // The directory the file goes to: the cursor's when it is the same one, else walked.
        const std::string key = root + '\0' + relative.substr(0, slash == std::string::npos ? 0 : slash + 1);
        Descriptor walked;
        int dir = near && near->key == key ? near->fd.get() : -1;
        const bool cached = dir >= 0;
        if (!cached) {
            walked = openPlacementDirectory(root, relative);
            if (!walked.valid())
                return PlaceResult::DirectoryFailed;
            dir = walked.get();
        }
        const PlaceResult result = placeIn(dir, root + relative, name, mode, times, notSameAs, fill);
        if (cached && result != PlaceResult::Done && errno == ENOENT) {
            // The directory the cursor holds was removed meanwhile: walk again, once.
            near->key.clear();
            near->fd = Descriptor();
            return placeFileNear(root, relative, mode, times, notSameAs, fill, cursor);
        }
        if (near && !cached) {
            near->key = key;
            near->fd = std::move(walked);
        }
        return result;
    }

private:
    // The directory a placement cursor keeps open, and what it was opened for.
    class PlacementCursor final : public DirectoryCursor {
    public:
        std::string key; // root, NUL, the directory part of the relative name
        Descriptor fd;
    };

    // Opens the directory of `root + relative` (all but its last component), creating
    // what is missing. The root is created level by level like any directory the user
    // names; below it, each level is opened through its parent's descriptor and must be a
    // real directory: a link planted anywhere cannot lead the file elsewhere.
    Descriptor openPlacementDirectory(const std::string& root, const std::string& relative)
    {
        Descriptor dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.valid()) {
            for (size_t i = 1; i <= root.size(); ++i)
                if (i == root.size() || root[i] == '/')
                    if (!makeDirectory(root.substr(0, i)))
                        return Descriptor();
            dir = Descriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        size_t pos = 0;
        for (;;) {
            const size_t slash = relative.find('/', pos);
            if (!dir.valid() || slash == std::string::npos)
                return dir;
            const std::string level = relative.substr(pos, slash - pos);
            pos = slash + 1;
            if (level.empty() || level == ".")
                continue;
            if (level == ".." || (::mkdirat(dir.get(), level.c_str(), 0777) != 0 && errno != EEXIST))
                return Descriptor();
            dir = Descriptor(::openat(dir.get(), level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
    }

    // Writes the file `name` in the directory `dir` under a temporary name and renames it
    // into place. A failure leaves errno of the step that failed.
    PlaceResult placeIn(int dir, const std::string& fullName, const std::string& name, uint32_t mode,
                        const PreciseTimes* times, const FileStatus* notSameAs,
                        const std::function<bool(File&)>& fill)
    {
        // The new content goes to a private temporary name beside the final one.
        static const std::string pid = std::to_string(::getpid());
        std::string tempName;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            tempName = "." + name.substr(0, 200) + ".twtmp" + pid + "_" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
            fd = ::openat(dir, tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0)
            return PlaceResult::WriteFailed;
        bool ok;
        {
            PosixFile file(fd, fullName);
            ok = fill(file) && file.setMode(mode) && (!times || file.setTimes(*times));
        }
        PlaceResult result = ok ? moveIntoPlace(dir, tempName, name, notSameAs) : PlaceResult::WriteFailed;
        if (result != PlaceResult::Done) {
            const int err = errno;
            ::unlinkat(dir, tempName.c_str(), 0);
            errno = err == ENOENT ? EIO : err; // only the temporary's creation asks for a new walk
        }
        return result;
    }

    // Renames the temporary `tempName` to `name` in `dir`. Where nothing has that name
    // the rename alone does it; an entry already there is replaced only when it is a
    // regular file other than `notSameAs`.
    static PlaceResult moveIntoPlace(int dir, const std::string& tempName, const std::string& name,
                                     const FileStatus* notSameAs)
    {
        if (::renameat2(dir, tempName.c_str(), dir, name.c_str(), RENAME_NOREPLACE) == 0)
            return PlaceResult::Done;
        if (errno != EEXIST && errno != EINVAL) // EINVAL: the file system cannot refuse to replace
            return PlaceResult::WriteFailed;
        FileStatus existing;
        if (statxInto(dir, name.c_str(), AT_SYMLINK_NOFOLLOW, &existing)) {
            if (!existing.isRegular || (notSameAs && tw::sameFile(existing, *notSameAs))) {
                errno = EEXIST;
                return PlaceResult::DirectoryFailed;
            }
        } else if (errno != ENOENT) {
            return PlaceResult::DirectoryFailed;
        }
        return ::renameat(dir, tempName.c_str(), dir, name.c_str()) == 0 ? PlaceResult::Done
                                                                          : PlaceResult::WriteFailed;
    }
};

} // namespace

FileOps& realFileOps()
{
    static PosixFileOps ops;
    return ops;
}

bool isHiddenName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return start < path.size() && path[start] == '.';
}

FileTime toFileTime(int64_t sec, int64_t nsec)
{
    return (sec + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond + nsec / 100;
}

void fromFileTime(FileTime t, int64_t* sec, int64_t* nsec)
{
    int64_t s = t / kFileTimeTicksPerSecond;
    int64_t rest = t % kFileTimeTicksPerSecond;
    if (rest < 0) {
        rest += kFileTimeTicksPerSecond;
        --s;
    }
    *sec = s - kFileTimeEpochToUnixSeconds;
    *nsec = rest * 100;
}

} // namespace tw
