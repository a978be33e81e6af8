#include "platform/FileOps.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kEpochDiffSeconds = 11644473600LL; // 1601-01-01 to 1970-01-01

class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int fd) : m_fd(fd) {}
    ~PosixFileLock() override
    {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }

private:
    int m_fd; // open and locked for the object's lifetime
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
        out->lastWriteSec = st.st_mtim.tv_sec;
        out->lastWriteNsec = st.st_mtim.tv_nsec;
        out->lastAccessSec = st.st_atim.tv_sec;
        out->lastAccessNsec = st.st_atim.tv_nsec;
        return true;
    }
    bool setTimes(const std::string& path, const PreciseTimes& t) override
    {
        timespec ts[2];
        ts[0].tv_sec = static_cast<time_t>(t.lastAccessSec);
        ts[0].tv_nsec = static_cast<long>(t.lastAccessNsec);
        ts[1].tv_sec = static_cast<time_t>(t.lastWriteSec);
        ts[1].tv_nsec = static_cast<long>(t.lastWriteNsec);
        return ::utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
    }
    bool sameFile(const std::string& a, const std::string& b) override
    {
        struct stat sa {}, sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
            return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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
    std::string createUniqueFile(const std::string& dir, const std::string& prefix) override
    {
        std::string name = dir + prefix + "XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            return {};
        ::close(fd);
        return name;
    }
    std::unique_ptr<FileLock> lockFile(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return nullptr;
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd);
                return nullptr;
            }
        }
        return std::make_unique<PosixFileLock>(fd);
    }
};

} // namespace

FileOps& RealFileOps()
{
    static PosixFileOps ops;
    return ops;
}

bool IsHiddenName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return start < path.size() && path[start] == '.';
}

FileTime ToFileTime(int64_t sec, int64_t nsec)
{
    return (sec + kEpochDiffSeconds) * kTicksPerSecond + nsec / 100;
}

void FromFileTime(FileTime t, int64_t* sec, int64_t* nsec)
{
    int64_t s = t / kTicksPerSecond;
    int64_t rest = t % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --s;
    }
    *sec = s - kEpochDiffSeconds;
    *nsec = rest * 100;
}

} // namespace tw
