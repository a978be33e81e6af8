#pragma once
// A private, fast home for the temporary files and the data directory of replace runs.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tw::test {

// While it lives, the temporary files (TMPDIR, and so the test's own TempDirs) and the
// data directory (XDG_DATA_HOME: safety copies, recovery list) are in a private directory,
// on a memory file system when there is one: the durability barriers of a replace then
// cost nothing, and a temporary file a run leaves behind can be counted. Not for tests
// that need a disk's behaviour.
class PrivateTempDirs {
public:
    PrivateTempDirs()
    {
        const bool memory = ::access("/dev/shm", W_OK) == 0;
        std::string templ = (memory ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) +
                            "/twscanXXXXXX";
        if (!::mkdtemp(templ.data()))
            std::abort();
        m_dir = templ + "/";
        keep("TMPDIR", m_oldTmp, m_hadTmp);
        keep("XDG_DATA_HOME", m_oldData, m_hadData);
        ::setenv("TMPDIR", m_dir.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_dir + "data").c_str(), 1);
    }
    ~PrivateTempDirs()
    {
        restore("TMPDIR", m_oldTmp, m_hadTmp);
        restore("XDG_DATA_HOME", m_oldData, m_hadData);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    // The program's temporary files ("TW...") present now.
    size_t temporaryFiles() const
    {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(m_dir))
            n += e.path().filename().string().rfind("TW", 0) == 0;
        return n;
    }

private:
    static void keep(const char* name, std::string& old, bool& had)
    {
        const char* v = std::getenv(name);
        had = v != nullptr;
        old = v ? v : "";
    }
    static void restore(const char* name, const std::string& old, bool had)
    {
        if (had)
            ::setenv(name, old.c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::string m_dir; // ends with "/"
    std::string m_oldTmp, m_oldData;
    bool m_hadTmp = false, m_hadData = false;
};

} // namespace tw::test
