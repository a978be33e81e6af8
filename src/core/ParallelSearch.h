#pragma once
// A search run, or a replace run that asks no questions, on several threads. The files, in groups of consecutive files, then each
// archive are tasks of an OrderedPipeline. Each worker owns a FileSearch over a
// ResultRecorder (in place of the results list and the host), so what a task produces —
// file lines, lines, messages, progress, counts and a FileReport per file or member — is
// recorded into batches. The run's thread replays the batches in task order and hands each
// report to the RunLedger, so lines, output file, held-back store, counters and exit
// status are those of the run on one thread; only a long file's byte progress goes
// straight from the worker to the run's host.
//
// A replace run's workers write each file's new content to temporary files of their own
// (ReplaceOutputs) and hand a changed file's final output over with its report, as a view
// of their staging tail that the rewrite reads from without a copy; the commits (safety
// copy, size check, in-place rewrite, undo line, recovery list) happen on the run's
// thread as the reports are replayed, in file order.
//
// Without a complete list the workers also walk: the pipeline's feeder, run by one worker
// at a time whenever few tasks are left, walks the next piece of the plan's ListWalk and
// cuts the new files into tasks (each task keeps its own copy of its paths).
#include "core/RecordedBatch.h"
#include "core/RunHost.h"
#include "core/RunPlan.h"
#include "platform/FileSystem.h"
#include "results/ResultSink.h"

#include <atomic>
#include <string>
#include <string_view>

namespace tw {

class RunLedger;
struct RunCounters;

class ParallelSearch {
public:
    ParallelSearch(RunPlan& plan, RunLedger& ledger, ResultSink& results, RunHost& host, FileSystem& fs,
                   RunCounters& counters, std::atomic<bool>& stop);
    // Searches the plan's files, then its archives, on `threads` workers.
    void run(size_t threads);

private:
    struct Worker;
    struct Task;
    class Tasks;
    // Reused by every replayed event, so that replaying allocates nothing once warm.
    struct ReplayBuffers {
        ResultEntry line;
        std::string path, archivePath;
    };
    // Carries out what a worker recorded; false when the run is to end. The outputs
    // handed over with the batch's reports are let go once their files are committed (the
    // writer keeps those it still has to rewrite).
    bool replay(RecordedBatch& batch, ReplayBuffers& buffers);
    // Replace runs: the worker's outputs are ready for file `k`; else its error line and a
    // report that ends the run are recorded, and false returned.
    bool readyOutputs(Worker& w, size_t k, std::string_view path);
    // Replace runs, after a file: a changed file's output goes with its report; a failed
    // write to an output ends the run at this file.
    static void handOverOutput(Worker& w, bool quiet);

    // The most outputs of changed files a replace run keeps for their commits at a time.
    static constexpr size_t kOutputsInFlight = 256;
    // The memory the staged outputs of a replace run may take; more go to temporary files.
    static constexpr int64_t kStagingMemory = int64_t(64) << 20;

    RunPlan& m_plan;
    RunLedger& m_ledger;
    ResultSink& m_results;
    RunHost& m_host;
    FileSystem& m_fs;
    RunCounters& m_counters;
    std::atomic<bool>& m_stop;
};

} // namespace tw
