#pragma once
// Starts the real tarnwick-cli as a child process (no shell) with its own standard input,
// output and error files, optionally with extra environment variables, and waits for it.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

struct CliResult {
    int status = -1; // exit status, -1 when killed by a signal
    std::string out, err;
};

// Another program to start than tarnwick-cli (the desktop program, say).
struct Program {
    std::string path;
};

class CliProcess {
public:
#ifdef TW_CLI_PATH
    // Starts tarnwick-cli at once.
    explicit CliProcess(const std::vector<std::string>& args, const std::string& input = {},
                        const std::vector<std::pair<std::string, std::string>>& env = {},
                        const std::string& cwd = {})
        : CliProcess(Program{TW_CLI_PATH}, args, input, env, cwd)
    {
    }
#endif
    // Starts `program` at once.
    CliProcess(const Program& program, const std::vector<std::string>& args, const std::string& input = {},
               const std::vector<std::pair<std::string, std::string>>& env = {}, const std::string& cwd = {})
    {
        writeFile(m_io.file("in"), input);
        m_pid = ::fork();
        if (m_pid == 0) {
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
                ::_exit(127);
            for (const auto& [name, value] : env)
                ::setenv(name.c_str(), value.c_str(), 1);
            std::freopen(m_io.file("in").c_str(), "r", stdin);
            std::freopen(m_io.file("out").c_str(), "w", stdout);
            std::freopen(m_io.file("err").c_str(), "w", stderr);
            std::vector<char*> argv{const_cast<char*>(program.path.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.path.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~CliProcess()
    {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t pid() const { return m_pid; }
    CliResult wait()
    {
        int st = 0;
        if (!m_done)
            ::waitpid(m_pid, &st, 0);
        m_done = true;
        CliResult r;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = readFile(m_io.file("out"));
        r.err = readFile(m_io.file("err"));
        return r;
    }
    // As wait(), but a program still running after `seconds` is killed and nothing comes
    // back: a program that hangs fails the test instead of stopping it.
    std::optional<CliResult> waitAtMost(int seconds)
    {
        for (int i = 0; i < seconds * 100 && !m_done; ++i) {
            int st = 0;
            if (::waitpid(m_pid, &st, WNOHANG) == m_pid) {
                m_done = true;
                CliResult r = wait();
                r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                return r;
            }
            ::usleep(10000);
        }
        if (m_done)
            return wait();
        kill();
        return std::nullopt;
    }
    void kill()
    {
        ::kill(m_pid, SIGKILL);
        wait();
    }

private:
    TempDir m_io;
    pid_t m_pid = -1;
    bool m_done = false;
};

// Gives each test its own empty settings and data directories (the child processes
// inherit them).
class PrivateDirsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", m_data.path().c_str(), 1);
    }
    TempDir m_config, m_data;
};

// Runs any program with arguments (no shell unless it is the program) and waits for it.
inline CliResult runProgram(const std::string& program, const std::vector<std::string>& args)
{
    TempDir io;
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen(io.file("out").c_str(), "w", stdout);
        std::freopen(io.file("err").c_str(), "w", stderr);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    CliResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readFile(io.file("out"));
    r.err = readFile(io.file("err"));
    return r;
}

#ifdef TW_CLI_PATH
// In a forked child: becomes tarnwick-cli with `args`; never returns.
[[noreturn]] inline void execCli(const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(TW_CLI_PATH)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TW_CLI_PATH, argv.data());
    ::_exit(127);
}

// Runs tarnwick-cli with standard output a pipe that nobody reads any more (as after
// "| head -1" has exited), with SIGPIPE at its default action as a shell leaves it.
// `status` is -1 when a signal ended the program.
inline CliResult runWithClosedOutput(const std::vector<std::string>& args)
{
    TempDir io;
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    ::close(fds[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        std::freopen("/dev/null", "r", stdin);
        std::freopen(io.file("err").c_str(), "w", stderr);
        execCli(args);
    }
    ::close(fds[1]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    CliResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = readFile(io.file("err"));
    return r;
}

// Runs tarnwick-cli with standard output a pipe whose reader takes the first line and then
// closes its end (as "| head -1" does), with SIGPIPE at its default action. `out` is what
// the reader took; `status` is -1 when a signal ended the program.
inline CliResult runIntoFirstLineReader(const std::vector<std::string>& args)
{
    TempDir io;
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        std::freopen("/dev/null", "r", stdin);
        std::freopen(io.file("err").c_str(), "w", stderr);
        execCli(args);
    }
    ::close(fds[1]);
    CliResult r;
    char buffer[4096];
    ssize_t n = 0;
    while (r.out.find('\n') == std::string::npos && (n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        r.out.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = readFile(io.file("err"));
    return r;
}
#endif

// Waits until `path` exists (at most about 30 s).
inline bool waitForFile(const std::string& path)
{
    for (int i = 0; i < 3000; ++i) {
        if (::access(path.c_str(), F_OK) == 0)
            return true;
        ::usleep(10000);
    }
    return false;
}

} // namespace tw::test
