#pragma once
// What the work on one file (or archive member) found out, for the steps that follow it in
// file order: counting, the file's summary lines, the decision and the commit.
#include "core/FileScanner.h"
#include "platform/FileSystem.h"

namespace tw {

struct FileReport {
    enum class Fate {
        Scanned,    // every pair ran (or the run was stopped between pairs)
        Skipped,    // the rest of its directory is skipped; not opened
        NotReached, // the run was stopped before the file was opened
        Failed,     // it could not be opened, read or sought; the error line was added
    };
    Fate fate = Fate::Scanned;
    FileState state;      // path, binary, counters (all pairs and per pair), size change
    FileStatus status;    // replace runs: taken on the descriptor when the file was opened
    File* output = nullptr; // replace runs: the temporary file holding the last pair's output
    bool pairsRan = false;  // the per-pair counters describe a pair loop that ran
};

} // namespace tw
