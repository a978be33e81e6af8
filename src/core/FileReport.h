#pragma once
// What the work on one file (or archive member) found out (FileSearch), for the steps that
// follow it in file order on the run's thread (RunLedger): the decision, then counting,
// the file's closing lines and the commit. A script's expression decides from the per-pair
// counters in `state`.
#include "core/ChangeSpans.h"
#include "core/FileScanner.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
    ChangeSpans* changes = nullptr; // previews: spans from the original to `output`
    // Runs that hash outputs (RunPlan::hashOutputs): the SHA-256 (hex) of `output`'s whole
    // content and its length, taken as the last pair wrote it; empty (and -1) when not taken.
    std::string outputHash;
    int64_t outputHashLength = -1;
    // A replace worker's changed file: a read-only view of the output, handed over with
    // the report (`output` is it), kept until the run's thread has committed the file and
    // by the writer until the original is rewritten. Its reads may come from any thread.
    std::shared_ptr<File> keptOutput;
    // Writing the temporary output failed (its error line is out): the run ends once the
    // report is taken, as it would have ended at this file on one thread.
    bool endsRun = false;
    bool pairsRan = false;  // the per-pair counters describe a pair loop that ran
    size_t listIndex = SIZE_MAX; // the file's index in the run's list; SIZE_MAX for a member

    // Starts the report of a new file over this one. The path and the counters keep their
    // capacity, so a worker that reuses one report allocates nothing per file.
    void reset(std::string_view path, size_t pairs, size_t index = SIZE_MAX)
    {
        listIndex = index;
        fate = Fate::Scanned;
        state.path.assign(path);
        state.archivePath.clear();
        state.binary = false;
        state.reformatted = false;
        state.sizeChange = 0;
        state.pairCounts.assign(pairs, PairCounts{});
        status = FileStatus{};
        output = nullptr;
        changes = nullptr;
        outputHash.clear();
        outputHashLength = -1;
        state.utf16 = false;
        keptOutput.reset();
        endsRun = false;
        pairsRan = false;
    }
};

} // namespace tw
