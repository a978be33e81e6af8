#pragma once
// Holding a file's lines back while the file is undecided (replace runs, script
// expressions): they reach the list when flushed, or never when discarded.
#include "results/HeldBackLines.h"

namespace tw {

class HeldBackStore {
public:
    virtual ~HeldBackStore() = default;
    // Starts holding lines back; false when no store could be made (lines then go on at once).
    virtual bool beginHoldBack() = 0;
    // Delivers the lines held back so far, in order, and goes on holding back.
    virtual void flushHeldBack() = 0;
    // Drops the lines held back so far and goes on holding back.
    virtual void discardHeldBack() = 0;
    // Flushes and stops holding back.
    virtual void endHoldBack() = 0;
    // The lines held back for the current file (for the per-hit question); read on demand.
    virtual const HeldBackLines& heldBack() = 0;
};

} // namespace tw
