// The available memory read from a /proc/meminfo text, and the free disk space.
#include "platform/SystemResources.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SystemResources, MemAvailableIsReadFromMeminfo)
{
    const struct {
        const char* name;
        std::string text;
        std::optional<uint64_t> kb;
    } cases[] = {
        {"usual", "MemTotal:       16315412 kB\nMemFree:         1021384 kB\nMemAvailable:    9473568 kB\n"
                  "Buffers:          310264 kB\n", 9473568},
        {"last line without a line end", "MemFree: 1 kB\nMemAvailable: 42 kB", 42},
        {"tab after the key", "MemAvailable:\t7 kB\n", 7},
        {"older kernels have none", "MemTotal: 1000 kB\nMemFree: 500 kB\n", std::nullopt},
        {"a longer key is another key", "MemAvailableX: 5 kB\n", std::nullopt},
        {"not at the line start", " MemAvailable: 5 kB\n", std::nullopt},
        {"no number", "MemAvailable: kB\n", std::nullopt},
        {"another unit", "MemAvailable: 5 MB\n", std::nullopt},
        {"garbage after the unit", "MemAvailable: 5 kBx\n", std::nullopt},
        {"negative", "MemAvailable: -5 kB\n", std::nullopt},
        {"overflow", "MemAvailable: 99999999999999999999999 kB\n", std::nullopt},
        {"largest", "MemAvailable: 18446744073709551615 kB\n", UINT64_MAX},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseMemAvailableKb(c.text), c.kb) << c.name;
}

TEST(SystemResources, DiskSpaceOfAMissingPathIsUnavailable)
{
    EXPECT_EQ(freeDiskSpaceKb("/nonexistent/tarnwick/dir"), std::nullopt);
    EXPECT_EQ(freeDiskSpaceKb(""), std::nullopt);
    EXPECT_TRUE(freeDiskSpaceKb("/").has_value());
}

} // namespace
} // namespace tw
