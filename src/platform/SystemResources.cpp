#include "platform/SystemResources.h"

#include <cstdio>
#include <sys/statvfs.h>

namespace tw {

std::optional<uint64_t> parseMemAvailableKb(std::string_view meminfo)
{
    constexpr std::string_view key = "MemAvailable:";
    size_t at = 0;
    while (at < meminfo.size()) {
        size_t end = meminfo.find('\n', at);
        if (end == std::string_view::npos)
            end = meminfo.size();
        std::string_view line = meminfo.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        uint64_t value = 0;
        size_t digits = 0;
        for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
            const uint64_t d = static_cast<uint64_t>(line[digits] - '0');
            if (value > (UINT64_MAX - d) / 10)
                return std::nullopt; // no machine has that much; the text is not meminfo
            value = value * 10 + d;
        }
        line.remove_prefix(digits);
        if (digits == 0 || line != " kB")
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::optional<uint64_t> availableMemoryKb()
{
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    size_t n;
    // The file is a few KB; more than 64 KB is not meminfo.
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < 65536)
        text.append(buffer, n);
    std::fclose(f);
    return parseMemAvailableKb(text);
}

std::optional<uint64_t> freeDiskSpaceKb(const std::string& path)
{
    struct statvfs s {};
    if (path.empty() || ::statvfs(path.c_str(), &s) != 0)
        return std::nullopt;
    const unsigned __int128 bytes = static_cast<unsigned __int128>(s.f_bavail) * (s.f_frsize ? s.f_frsize : s.f_bsize);
    const unsigned __int128 kb = bytes / 1024;
    return kb > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(kb);
}

} // namespace tw
