#include "core/ParallelSearch.h"

#include "core/ConfirmationState.h"
#include "core/FileSearch.h"
#include "core/OrderedPipeline.h"
#include "core/ReplaceOutputs.h"
#include "core/ReplaceWriter.h"
#include "core/ResultRecorder.h"
#include "core/RunDriver.h"
#include "core/RunLedger.h"
#include "platform/Assert.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace tw {

// A search thread: a recorder for what its files produce, and a FileSearch of its own
// (scanner, matchers) that sends everything to the recorder. In a replace run it also has
// a confirmation state (which never asks: such runs ask no questions), its temporary
// outputs, and the flag a failed write to one of them sets.
struct ParallelSearch::Worker {
    Worker(const RunPlan& plan, FileSystem& fs, std::shared_ptr<StagingBudget> staging, std::atomic<bool>& stop)
        : outputs(fs, std::move(staging)), side{confirmation, nullptr, nullptr, &outputs, &writeFailed},
          search(plan, Lane{recorder, recorder, &recorder}, fs, stop, plan.replace ? &side : nullptr)
    {
        confirmation.startRun(plan.opt.promptMode);
    }
    ResultRecorder recorder;
    ConfirmationState confirmation;
    ReplaceOutputs outputs;
    std::atomic<bool> writeFailed{false};
    ReplaceSide side;
    FileSearch search;
    FileReport report; // the file at hand; copied into the recorder's batch when it is done
    // Made, used and released on the worker's own thread, which has its own descriptors.
    std::unique_ptr<DirectoryCursor> cursor;
};

// A task is a group of consecutive files, or one archive.
struct ParallelSearch::Task {
    size_t first = 0;          // list index of the first file
    size_t total = 0;          // files found when the task was cut (for progress)
    bool complete = false;     // the walk had ended then: `total` is every file
    size_t archive = SIZE_MAX; // an archive task: its index in the plan's archives
    FileList files;
    bool done = false;         // its worker has finished it
};

// The tasks, cut from the list as it is found: all at once when it is complete, otherwise
// by the workers as they walk on (the feeder runs on one worker at a time). Consecutive
// files go together so that a tree of small files costs a hand-over per group rather than
// per file; groups stay small enough to share the work out evenly.
class ParallelSearch::Tasks {
public:
    // At most `maxGroup` files a task.
    Tasks(RunPlan& plan, size_t threads, size_t maxGroup) : m_plan(plan), m_threads(threads), m_maxGroup(maxGroup) {}

    // The feeder: walks on (when walking) and cuts what is new; the number of tasks.
    size_t feed(bool* more)
    {
        // Small walk pieces first, so that the workers start at once, then larger ones
        // (up to 256 files a thread) as the list grows.
        const size_t piece = std::clamp<size_t>(m_plan.list.size() / 2, 32, 256 * m_threads);
        const bool walking = m_plan.walk && m_plan.walk->walkOn(piece);
        const size_t listed = m_plan.list.size();
        const size_t fresh = listed - m_cut;
        cutFiles(m_cut, listed, std::clamp<size_t>(fresh / (m_threads * (m_plan.walk ? 4 : 64)), 1, m_maxGroup),
                 !walking);
        m_cut = listed;
        if (!m_plan.keepList)
            m_plan.list.forget(); // the tasks hold copies of their paths
        if (!walking && !m_archivesCut) {
            m_archivesCut = true;
            for (size_t a = 0; a < m_plan.archives.size(); ++a) {
                Task t;
                t.archive = a;
                std::lock_guard<std::mutex> lock(m_mutex);
                m_tasks.push_back(std::move(t));
            }
        }
        *more = walking;
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dropped + m_tasks.size();
    }
    const Task& at(size_t task)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        TW_ASSERT(task >= m_dropped && task - m_dropped < m_tasks.size());
        return m_tasks[task - m_dropped];
    }
    // A worker is done with `task`: the tasks done from the oldest on are dropped, so that
    // only the tasks in flight keep their paths.
    void done(size_t task)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        TW_ASSERT(task >= m_dropped && task - m_dropped < m_tasks.size());
        m_tasks[task - m_dropped].done = true;
        while (!m_tasks.empty() && m_tasks.front().done) {
            m_tasks.pop_front();
            ++m_dropped;
        }
    }

private:
    void cutFiles(size_t from, size_t to, size_t group, bool complete)
    {
        FileList::Cursor paths(m_plan.list, from);
        for (size_t k = from; k < to; k += group) {
            Task t;
            t.first = k;
            t.total = to;
            t.complete = complete;
            for (size_t i = k; i < std::min(to, k + group); ++i)
                t.files.add(paths.next());
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(t));
        }
    }

    RunPlan& m_plan;
    size_t m_threads;
    size_t m_maxGroup;
    // The tasks from m_dropped on; a task is dropped once it and every task before it are
    // done. The others never move (a deque's ends change, not its middle).
    std::deque<Task> m_tasks;
    size_t m_dropped = 0;
    std::mutex m_mutex;       // guards the container and `done` (not the rest of a task, which never changes)
    size_t m_cut = 0;         // the list's files already in tasks
    bool m_archivesCut = false;
};

ParallelSearch::ParallelSearch(RunPlan& plan, RunLedger& ledger, ResultSink& results, RunHost& host, FileSystem& fs,
                               RunCounters& counters, std::atomic<bool>& stop)
    : m_plan(plan), m_ledger(ledger), m_results(results), m_host(host), m_fs(fs), m_counters(counters), m_stop(stop)
{
}

void ParallelSearch::run(size_t threads)
{
    // Workers scan the tasks and record what each produces; this thread replays the
    // records in list order and does every step that follows a file (the ledger), so the
    // results are those of the same run on one thread.
    auto staging = std::make_shared<StagingBudget>(kStagingMemory);
    std::vector<std::unique_ptr<Worker>> workers;
    for (size_t i = 0; i < threads; ++i) {
        auto w = std::make_unique<Worker>(m_plan, m_fs, staging, m_stop);
        w->recorder.setShowsProgress(m_host.showsProgress());
        w->recorder.setLiveHost(&m_host);
        workers.push_back(std::move(w));
    }
    // A replace task's changed files keep their outputs until they are committed: the
    // window and the groups are cut so that at most kOutputsInFlight of them are waiting
    // (with many threads, at most one file a task), besides the two each worker writes.
    size_t window = std::max<size_t>(4 * threads, 16);
    if (m_plan.replace)
        window = std::max(threads, std::min(window, kOutputsInFlight));
    Tasks tasks(m_plan, threads, m_plan.replace ? std::clamp<size_t>(kOutputsInFlight / window, 1, 64) : 64);
    auto produce = [&](size_t worker, size_t task, TaskOutput& out) {
        const Task& t = tasks.at(task);
        // A worker opens, reads and closes its own files and releases its cursor before it
        // ends (below), so it can keep its descriptors to itself; a replace worker's
        // outputs are used on the run's thread, so they stay in the shared table.
        Worker& w = *workers[worker];
        if (!w.cursor) {
            if (!m_plan.replace)
                m_fs.ownDescriptorsForThisThread();
            w.cursor = m_fs.newDirectoryCursor();
            w.search.setCursor(w.cursor.get());
        }
        w.recorder.setOutput(&out);
        if (t.archive == SIZE_MAX) {
            for (FileList::Cursor files(t.files); !files.atEnd() && !m_stop.load();) {
                const size_t i = files.index();
                const std::string_view path = files.next();
                if (m_plan.replace && !readyOutputs(w, t.first + i, path))
                    break;
                w.search.searchFile(t.first + i, path, t.total, t.complete, w.report);
                if (m_plan.replace)
                    handOverOutput(w, m_plan.quiet);
                w.recorder.fileEnd(w.report);
                w.report.keptOutput.reset(); // the batch's copy of the report holds it now
                if (w.report.endsRun)
                    break;
            }
        } else {
            w.search.searchArchive(t.archive, w.report);
        }
        w.recorder.setOutput(nullptr);
        tasks.done(task);
    };
    ReplayBuffers buffers;
    auto consume = [&](RecordedBatch& batch) { return replay(batch, buffers); };
    OrderedPipeline pipeline(threads, window);
    pipeline.setWorkerEnd([&](size_t worker) {
        workers[worker]->search.setCursor(nullptr);
        workers[worker]->cursor.reset();
    });
    pipeline.run([&](bool* more) { return tasks.feed(more); }, 2 * threads, produce, consume,
                 [this] { m_host.pump(); }, &m_stop);
}

bool ParallelSearch::readyOutputs(Worker& w, size_t k, std::string_view path)
{
    if (w.outputs.ready(m_plan.request.pairs.size()))
        return true;
    // As when the run's outputs cannot be made: the error line, and the run ends here.
    w.recorder.addLine(ResultEntry::error(kErrorOpeningTemp));
    w.recorder.fileError();
    w.report.reset(path, m_plan.request.pairs.size(), k);
    w.report.fate = FileReport::Fate::NotReached;
    w.report.endsRun = true;
    w.recorder.fileEnd(w.report);
    return false;
}

void ParallelSearch::handOverOutput(Worker& w, bool quiet)
{
    FileReport& r = w.report;
    if (w.writeFailed.exchange(false)) {
        r.endsRun = true; // its error line is recorded; nothing of it is committed
        return;
    }
    if (r.fate != FileReport::Fate::Scanned || !r.output || r.state.totals().replacements == 0)
        return;
    // The report reads the output through its view from now on; the next file's output
    // follows it in the worker's staging tail.
    r.keptOutput = w.outputs.handOver(r.output);
    r.output = r.keptOutput.get();
    if (r.output)
        return;
    // As a failed write to the output: the error line, and the run ends at this file.
    w.recorder.fileError();
    reportFileError(w.recorder, w.recorder, quiet, kErrorWritingTemp, r.state.path);
    r.endsRun = true;
}

bool ParallelSearch::replay(RecordedBatch& batch, ReplayBuffers& buffers)
{
    ResultEntry& line = buffers.line;
    using Op = RecordedBatch::Op;
    for (const RecordedBatch::Event& ev : batch.events) {
        switch (ev.op) {
        case Op::PendingFile:
            buffers.path.assign(batch.view(ev.text));
            buffers.archivePath.assign(batch.view(ev.path));
            m_ledger.fileStarts();
            m_results.setPendingFile(buffers.path, buffers.archivePath);
            break;
        case Op::EmitPending:
            m_results.emitPendingFileLine();
            break;
        case Op::Line:
            batch.entryOf(ev, line);
            m_results.addLine(line);
            break;
        case Op::Message:
            m_host.message(std::string(batch.view(ev.text)), ev.flag);
            break;
        case Op::Progress:
            m_host.progress(std::string(batch.view(ev.text)));
            break;
        case Op::Title:
            m_host.title(std::string(batch.view(ev.text)));
            break;
        case Op::FileProgress:
            m_host.fileProgress(static_cast<long>(ev.lineNumber), ev.fileOffset, batch.view(ev.text));
            break;
        case Op::FileSearched:
            ++m_counters.filesSearched;
            break;
        case Op::FileError:
            ++m_counters.fileErrors;
            break;
        case Op::ArchiveOpened:
            ++m_counters.archivesDone;
            break;
        case Op::FileEnd: {
            m_host.pump();
            FileReport& report = batch.reports[ev.index];
            const bool goOn = m_ledger.finishFile(report);
            report.keptOutput.reset(); // committed, or never to be
            if (!goOn)
                return false;
            break;
        }
        }
    }
    return true;
}

} // namespace tw
