#pragma once
// A search run on several threads. The files, in groups of consecutive files, then each
// archive are tasks of an OrderedPipeline. Each worker owns a FileSearch over a
// ResultRecorder (in place of the results list and the host), so what a task produces —
// file lines, lines, messages, progress, counts and a FileReport per file or member — is
// recorded into batches. The run's thread replays the batches in task order and hands each
// report to the RunLedger, so lines, output file, held-back store, counters and exit
// status are those of the run on one thread; only a long file's byte progress goes
// straight from the worker to the run's host.
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
    // Carries out what a worker recorded; false when the run is to end.
    bool replay(const RecordedBatch& batch, ReplayBuffers& buffers);

    RunPlan& m_plan;
    RunLedger& m_ledger;
    ResultSink& m_results;
    RunHost& m_host;
    FileSystem& m_fs;
    RunCounters& m_counters;
    std::atomic<bool>& m_stop;
};

} // namespace tw
