#pragma once
// The date and size filters of the options: files last written before the earliest date
// or after the latest one, or smaller or larger than the size bounds, are left out of the
// walk. Bounds are inclusive, and a bound of 0 is no bound (a largest size of 0 does not
// mean empty files). Directories are never turned away here.
#include "platform/FileSystem.h"
#include "select/WalkFilter.h"

#include <cstdint>

namespace tw {

struct DateSizeBounds {
    FileTime earliest = 0, latest = 0; // last-write time, 100-ns ticks since 1601 (UTC)
    int64_t smallest = 0, largest = 0; // bytes

    bool any() const { return earliest != 0 || latest != 0 || smallest != 0 || largest != 0; }
    // The file of this last-write time and size stays selected.
    bool admits(FileTime lastWrite, int64_t size) const
    {
        return !(earliest != 0 && lastWrite < earliest) && !(latest != 0 && lastWrite > latest) &&
               !(smallest != 0 && size < smallest) && !(largest != 0 && size > largest);
    }
};

class DateSizeFilter final : public WalkFilter {
public:
    explicit DateSizeFilter(const DateSizeBounds& bounds) : m_bounds(bounds) {}
    // A file whose status could not be read is kept: opening it reports the problem.
    bool acceptFile(const WalkEntry& file) override
    {
        return !file.status || m_bounds.admits(file.status->lastWrite, file.status->size);
    }
    bool needsStatus() const override { return m_bounds.any(); }

private:
    DateSizeBounds m_bounds;
};

} // namespace tw
