#pragma once
// Helpers shared by the tests: a temporary directory that removes itself, and file I/O.
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "twtestXXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        m_path = tmpl + "/";
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
        if (ec && std::filesystem::exists(m_path))
            removeWithRm(m_path); // paths of PATH_MAX bytes or more defeat remove_all
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& rel) const { return m_path + rel; }

private:
    // "rm -rf" walks by descriptors, so it removes trees of any depth.
    static void removeWithRm(const std::string& path)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/rm", "rm", "-rf", "--", path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        if (pid > 0)
            ::waitpid(pid, &status, 0);
    }

    std::string m_path; // ends with "/"
};

// Points TMPDIR (and so the program's temporary files) at a private directory while it
// lives, so a test can count its own temporary files even when tests run in parallel.
class ScopedTmpDir {
public:
    ScopedTmpDir()
    {
        const char* old = std::getenv("TMPDIR");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TMPDIR", m_dir.path().c_str(), 1);
    }
    ~ScopedTmpDir()
    {
        if (m_hadOld)
            ::setenv("TMPDIR", m_old.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    const std::string& path() const { return m_dir.path(); }

private:
    TempDir m_dir;
    std::string m_old;
    bool m_hadOld = false;
};

inline void writeFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f << content;
}

// Makes `levels` nested directories under `root` (which ends with "/"), each named with
// `nameLength` copies of one letter, and the file `name` holding `content` in the deepest.
// Works relative to directory descriptors, so the full path may be longer than PATH_MAX.
// Returns the file's full path, or an empty string on failure.
inline std::string makeDeepFile(const std::string& root, int levels, size_t nameLength, const std::string& name,
                                const std::string& content)
{
    std::string path = root;
    int dir = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < levels && dir >= 0; ++i) {
        const std::string level(nameLength, static_cast<char>('a' + i % 26));
        ::mkdirat(dir, level.c_str(), 0755);
        const int next = ::openat(dir, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dir);
        dir = next;
        path += level + "/";
    }
    if (dir < 0)
        return {};
    const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(dir);
    if (fd < 0)
        return {};
    const bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    return ok ? path + name : std::string();
}

// Runs `work` on a thread of its own and says whether it returned within `seconds`. When
// it has not, it is taken to be waiting on the FIFO `fifo`: until it returns, the FIFO is
// held open for reading (and drained), which lets a writer waiting on it go on, and opened
// for writing and closed again, which ends an open or a read waiting on it. So a test of a
// hang fails instead of hanging.
template <typename Work>
bool returnsWithin(int seconds, const std::string& fifo, Work work)
{
    std::promise<void> done;
    std::future<void> returned = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool inTime = returned.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
    int reader = -1;
    while (returned.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        char drained[4096];
        if (reader < 0)
            reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        else
            while (::read(reader, drained, sizeof drained) > 0) {
            }
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0)
            ::close(writer);
    }
    worker.join();
    if (reader >= 0)
        ::close(reader);
    return inTime;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace tw::test
