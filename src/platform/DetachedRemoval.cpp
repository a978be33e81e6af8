#include "platform/DetachedRemoval.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw {

namespace {

// The work of the detached process. It is a copy of a process that may have had other
// threads (holding locks of the C library's allocator, say), so it makes only plain
// system calls until it ends: no allocation, no buffered output, no library state.
[[noreturn]] void removeAndExit(const std::vector<KnownFile>& files, bool leaveDirectory)
{
    // Inherited descriptors would keep the caller's pipes open (whoever reads the
    // caller's output would wait for this process) and its file locks held.
    if (::syscall(SYS_close_range, 0U, ~0U, 0U) != 0)
        for (int fd = 0; fd < 1024; ++fd)
            (void)::syscall(SYS_close, fd);
    (void)::syscall(SYS_setsid);                 // no terminal's hang-up reaches it
    (void)::syscall(SYS_setpriority, PRIO_PROCESS, 0, 10); // yields to the user's work
    if (leaveDirectory)
        (void)::syscall(SYS_chdir, "/");          // the caller's directory stays free to unmount
    for (const KnownFile& file : files) {
        struct statx sx {};
        if (::syscall(SYS_statx, AT_FDCWD, file.path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO, &sx) != 0)
            continue;
        const uint64_t device = (static_cast<uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
        if (device == file.device && sx.stx_ino == file.inode)
            (void)::syscall(SYS_unlinkat, AT_FDCWD, file.path.c_str(), 0);
    }
    ::_exit(0);
}

} // namespace

bool fitsOneCall(const std::string& path)
{
    return !path.empty() && path.size() < PATH_MAX;
}

bool removeInDetachedProcess(const std::vector<KnownFile>& files)
{
    bool allAbsolute = true;
    for (const KnownFile& file : files)
        allAbsolute = allAbsolute && !file.path.empty() && file.path[0] == '/';
    // Two forks: the first child starts the worker and ends at once, so the worker
    // belongs to no one here and the caller never has a child left to wait for. _Fork
    // runs no fork handlers: neither child runs code of this program's libraries.
    const pid_t child = ::_Fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const pid_t worker = ::_Fork();
        if (worker == 0)
            removeAndExit(files, allAbsolute);
        ::_exit(worker < 0 ? 1 : 0);
    }
    int status = 0;
    pid_t waited;
    do
        waited = ::waitpid(child, &status, 0);
    while (waited < 0 && errno == EINTR);
    // Where children are reaped by themselves (SIGCHLD ignored) the status is unknown;
    // the worker most likely started, and the next run finds whatever it left.
    if (waited < 0)
        return errno == ECHILD;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace tw
