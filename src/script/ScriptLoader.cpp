#include "script/ScriptFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace tw {

namespace {

// What is left to read from `fd`, or nothing on a read error or when it grows beyond
// kMaxScriptFileSize (the file may change while it is read).
std::optional<std::string> readToEnd(int fd, size_t expectedSize)
{
    std::string bytes;
    bytes.reserve(expectedSize);
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || bytes.size() + size_t(n) > kMaxScriptFileSize)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(chunk, size_t(n));
    }
}

// The whole content of the regular file at `path`, or nothing when it cannot be opened or
// read, is not a regular file (a FIFO is opened without waiting for a writer and then
// refused), or holds more than kMaxScriptFileSize bytes.
std::optional<std::string> readWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= kMaxScriptFileSize)
        bytes = readToEnd(fd, size_t(st.st_size));
    ::close(fd);
    return bytes;
}

} // namespace

ScriptLoadResult loadScript(Script& script, const std::string& path, const ScriptReadContext& context)
{
    if (path.empty()) {
        script.description.clear();
        script.options.reset();
        return ScriptLoadResult{true, {}};
    }
    const std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) {
        script.reset();
        return ScriptLoadResult{false, {"Cannot read script file\n" + path}};
    }
    return readScriptBytes(script, *bytes, path, context);
}

} // namespace tw
