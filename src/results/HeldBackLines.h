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
};

// No held-back lines (questions that show none).
const HeldBackLines& noHeldBackLines();

} // namespace tw
