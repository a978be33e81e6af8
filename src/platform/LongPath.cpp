#include "platform/LongPath.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace tw {

namespace {

// Directory reached by the leading groups of components of a long path, and the rest of
// the path relative to it. Short paths are left as they are, relative to AT_FDCWD.
class ParentChain {
public:
    explicit ParentChain(const std::string& path)
    {
        if (path.size() < PATH_MAX) {
            m_rest = path.c_str();
            return;
        }
        size_t pos = 0;
        while (path.size() - pos >= PATH_MAX) {
            // The longest group ending in "/" that the kernel takes in one call; the
            // group keeps its slash so a leading "/" still means the root.
            const size_t cut = path.rfind('/', pos + PATH_MAX - 2);
            if (cut == std::string::npos || cut < pos) {
                fail(ENAMETOOLONG); // one component of PATH_MAX bytes or more
                return;
            }
            const std::string group = path.substr(pos, cut + 1 - pos);
            // O_PATH needs only search permission on the directory, as a plain path does.
            const int next = ::openat(m_dir, group.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (next < 0) {
                fail(errno);
                return;
            }
            closeDir();
            m_dir = next;
            pos = cut + 1;
            // Further slashes are separators, not the root.
            while (pos < path.size() && path[pos] == '/')
                ++pos;
        }
        m_restStore = pos < path.size() ? path.substr(pos) : std::string(".");
        m_rest = m_restStore.c_str();
    }
    ~ParentChain() { closeDir(); }
    ParentChain(const ParentChain&) = delete;
    ParentChain& operator=(const ParentChain&) = delete;

    bool ok() const { return m_rest != nullptr; }
    int dir() const { return m_dir; }
    const char* rest() const { return m_rest; }

private:
    void fail(int error)
    {
        closeDir();
        m_rest = nullptr;
        errno = error;
    }
    void closeDir()
    {
        if (m_dir >= 0) {
            const int saved = errno;
            ::close(m_dir);
            errno = saved;
        }
        m_dir = AT_FDCWD;
    }

    int m_dir = AT_FDCWD;        // owned when not AT_FDCWD
    std::string m_restStore;     // the rest of a long path
    const char* m_rest = nullptr; // null after a failure; else the path relative to m_dir
};

} // namespace

int openLongPath(const std::string& path, int flags, mode_t mode)
{
    const ParentChain chain(path);
    return chain.ok() ? ::openat(chain.dir(), chain.rest(), flags, mode) : -1;
}

int statxLongPath(const std::string& path, int flags, unsigned int mask, struct statx* out)
{
    const ParentChain chain(path);
    return chain.ok() ? ::statx(chain.dir(), chain.rest(), flags, mask, out) : -1;
}

int unlinkLongPath(const std::string& path)
{
    const ParentChain chain(path);
    return chain.ok() ? ::unlinkat(chain.dir(), chain.rest(), 0) : -1;
}

} // namespace tw
