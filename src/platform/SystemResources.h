#pragma once
// Free memory and free disk space as the About box shows them, in KB.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The "MemAvailable:" value of a /proc/meminfo text, in KB; none when the text has no such
// line or its value is not a plain count of kB.
std::optional<uint64_t> parseMemAvailableKb(std::string_view meminfo);

// The memory available to programs without swapping, read from /proc/meminfo.
std::optional<uint64_t> availableMemoryKb();

// The space free for an ordinary user on the file system that holds `path`.
std::optional<uint64_t> freeDiskSpaceKb(const std::string& path);

} // namespace tw
