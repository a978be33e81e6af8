#include "script/ScriptFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

std::string writeFailure(const std::string& path, int error)
{
    return "Cannot write script file\n" + path + "\n" + std::strerror(error);
}

// Closes the descriptor it holds when it goes.
struct ScopedDescriptor {
    int fd = -1;
    ~ScopedDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A fresh name beside the target for the new content; no two calls give the same one.
std::string temporaryName(const std::string& name)
{
    static std::atomic<unsigned> counter{0};
    const auto clock = std::chrono::steady_clock::now().time_since_epoch().count();
    return "." + name.substr(0, 200) + ".tw" + std::to_string(::getpid()) + "_" +
           std::to_string(counter.fetch_add(1)) + "_" + std::to_string(clock % 1000000007);
}

bool writeAll(int fd, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// The permission bits the new file gets: the old file's; 0 for a new file (it is created
// with 0644, which the umask narrows). The target must be a regular file or missing: a
// symbolic link is refused, so it is neither written through nor replaced by a file of its
// own. Returns 0 or the errno that refuses the target.
int targetMode(int dir, const std::string& name, mode_t* mode)
{
    *mode = 0;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISLNK(st.st_mode))
        return ELOOP;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    *mode = st.st_mode & 07777;
    return 0;
}

// Writes `bytes` to the new file `fd` (which it closes) and makes them durable; 0 or errno.
int fillTemporary(int fd, mode_t mode, const std::string& bytes)
{
    ScopedDescriptor file{fd};
    if ((mode != 0 && ::fchmod(fd, mode) != 0) || !writeAll(fd, bytes) || ::fsync(fd) != 0)
        return errno ? errno : EIO;
    file.fd = -1;
    if (::close(fd) != 0)
        return errno;
    return 0;
}

// Replaces the file `name` in `dir` by one holding `bytes`: the old file stays whole until
// the new one is complete and durable, and then the new one takes its name in one step.
int replaceContent(int dir, const std::string& name, const std::string& bytes)
{
    mode_t mode = 0;
    if (const int refused = targetMode(dir, name, &mode))
        return refused;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryName(name);
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode ? 0600 : 0644);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    errno = 0;
    int error = fillTemporary(fd, mode, bytes);
    if (error == 0 && ::renameat(dir, temp.c_str(), dir, name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(dir, temp.c_str(), 0);
        return error;
    }
    ::fsync(dir); // the rename itself made durable; the content already is
    return 0;
}

} // namespace

std::string saveScript(Script& script, const std::string& path, const ScriptOptionsCodec& codec)
{
    if (script.empty())
        return "Cannot save empty script file.";
    const size_t slash = path.rfind('/');
    const std::string dirPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return writeFailure(path, EISDIR);
    ScopedDescriptor dir{::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0)
        return writeFailure(path, errno);
    if (const int error = replaceContent(dir.fd, name, formatScript(script, codec)))
        return writeFailure(path, error);
    script.filePath = path;
    return {};
}

} // namespace tw
