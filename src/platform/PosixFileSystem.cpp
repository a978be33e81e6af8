#include "platform/FileSystem.h"

#include "platform/LongPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kEpochDiffSeconds = 11644473600LL; // 1601-01-01 to 1970-01-01

FileTime ToFileTime(const timespec& ts)
{
    return (static_cast<int64_t>(ts.tv_sec) + kEpochDiffSeconds) * kTicksPerSecond + ts.tv_nsec / 100;
}

class PosixFile final : public File {
public:
    PosixFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixFile() override { ::close(m_fd); }

    int64_t read(void* buffer, size_t count) override
    {
        size_t done = 0;
        auto* out = static_cast<char*>(buffer);
        while (done < count) {
            const ssize_t n = ::read(m_fd, out + done, count - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return static_cast<int64_t>(done);
    }
    bool write(const void* data, size_t count) override
    {
        const auto* in = static_cast<const char*>(data);
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
    bool seek(int64_t offset) override { return ::lseek(m_fd, offset, SEEK_SET) == offset; }
    int64_t position() override { return ::lseek(m_fd, 0, SEEK_CUR); }
    bool truncate(int64_t length) override { return ::ftruncate(m_fd, length) == 0; }
    bool sync() override { return ::fsync(m_fd) == 0; }
    const std::string& path() const override { return m_path; }

private:
    int m_fd; // owned, open for the object's lifetime
    std::string m_path;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> openRead(const std::string& path, int* error) override
    {
        const int fd = OpenLongPath(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd, path);
    }
    std::unique_ptr<File> openWrite(const std::string& path, bool create, bool truncate, int* error) override
    {
        const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0) | (truncate ? O_TRUNC : 0);
        const int fd = OpenLongPath(path, flags, 0666);
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd, path);
    }
    std::unique_ptr<File> createTemp(const std::string& prefix, int* error) override
    {
        std::error_code ec;
        std::string dir = std::filesystem::temp_directory_path(ec).string();
        if (ec)
            dir = "/tmp";
        if (dir.empty() || dir.back() != '/')
            dir += '/';
        std::string name = dir + prefix + "XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            if (error)
                *error = errno;
            return nullptr;
        }
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return std::make_unique<PosixFile>(fd, name);
    }
    bool status(const std::string& path, FileStatus* out, bool followLinks) override
    {
        struct statx sx {};
        const int flags = AT_STATX_SYNC_AS_STAT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
        if (StatxLongPath(path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
            return false;
        out->isDirectory = S_ISDIR(sx.stx_mode);
        out->isSymlink = S_ISLNK(sx.stx_mode);
        out->size = static_cast<int64_t>(sx.stx_size);
        out->mode = sx.stx_mode & 07777;
        out->device = (static_cast<uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
        auto conv = [](const struct statx_timestamp& t) {
            timespec ts{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
            return ToFileTime(ts);
        };
        out->lastWrite = conv(sx.stx_mtime);
        out->lastAccess = conv(sx.stx_atime);
        out->creation = (sx.stx_mask & STATX_BTIME) ? conv(sx.stx_btime) : 0;
        return true;
    }
    bool listDirectory(const std::string& path, std::vector<DirEntry>* out) override
    {
        out->clear();
        // Opened by descriptor so that a directory of any depth can be listed.
        const int fd = OpenLongPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return false;
        }
        const int dfd = ::dirfd(dir);
        while (dirent* e = ::readdir(dir)) {
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            DirEntry entry;
            entry.name = n;
            unsigned char t = e->d_type;
            if (t == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    t = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            entry.type = t == DT_REG ? EntryType::File : t == DT_DIR ? EntryType::Directory
                       : t == DT_LNK ? EntryType::Symlink : EntryType::Other;
            out->push_back(std::move(entry));
        }
        ::closedir(dir);
        std::sort(out->begin(), out->end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
        return true;
    }
    bool removeFile(const std::string& path) override { return UnlinkLongPath(path) == 0; }
};

} // namespace

bool SyncFileSystemOf(const std::string& path)
{
    const int fd = OpenLongPath(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

FileSystem& RealFileSystem()
{
    static PosixFileSystem fs;
    return fs;
}

} // namespace tw
