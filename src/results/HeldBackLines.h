#pragma once
// Read access to the lines held back for the current file, for the per-hit question. The
// lines are read on demand (from the store, in bounded chunks), so asking a question costs
// nothing until the front end actually shows them.
#include "results/ResultEntry.h"

#include <cstddef>
#include <functional>

namespace tw {

class HeldBackLines {
public:
    virtual ~HeldBackLines() = default;
    // How many lines are held back now.
    virtual size_t count() const = 0;
    // Calls `visit` for the lines in order; a false return stops the walk.
    virtual void forEach(const std::function<bool(const ResultEntry&)>& visit) const = 0;
    // Likewise from line `first` on (0-based). The lines before it are passed over; a store
    // may skip them without decoding them.
    virtual void forEachFrom(size_t first, const std::function<bool(const ResultEntry&)>& visit) const
    {
        size_t index = 0;
        forEach([&](const ResultEntry& e) { return index++ < first || visit(e); });
    }
};

// No held-back lines (questions that show none).
const HeldBackLines& noHeldBackLines();

} // namespace tw
