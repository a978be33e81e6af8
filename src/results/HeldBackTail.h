#pragma once
// The held-back lines of the current file in a bounded form for a question that shows them:
// at most a fixed number of lines, however many the file has. A file with more keeps its
// first line (the file line, which names the file), then a notice saying how many lines
// are left out, then its last lines (those nearest the current hit).
#include "results/HeldBackLines.h"
#include "results/ResultEntry.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tw {

struct HeldBackTail {
    // At most the maxLines of heldBackTail; the notice, when there is one, is lines[1].
    std::vector<ResultEntry> lines;
    size_t omitted = 0; // held-back lines left out (0: all are in `lines`)
};

// Reads the lines of `heldBack` in the bounded form (maxLines below 3 counts as 3). Only
// the lines kept are decoded.
HeldBackTail heldBackTail(const HeldBackLines& heldBack, size_t maxLines);

// The notice standing for `omitted` left-out lines.
std::string omittedLinesNotice(size_t omitted);

} // namespace tw
