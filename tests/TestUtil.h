#pragma once
// Helpers shared by the tests: a temporary directory that removes itself, and file I/O.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& rel) const { return m_path + rel; }

private:
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

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace tw::test
