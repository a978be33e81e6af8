#pragma once
// Runs the tasks 0..count-1 of a run on worker threads and hands their output to one
// consumer, the calling thread, in task order: the consumer sees exactly what one thread
// doing the tasks one after another would have produced.
//
// A task writes its output into batches (TaskOutput::batch) and hands each on when it has
// grown (TaskOutput::publish) and at its end. Memory stays bounded however the work is
// spread: at most `window` tasks are in flight, and a task whose handed-on batches reach
// its share of the memory waits while all tasks together hold the whole budget, until
// the consumer has taken batches; it takes those of the oldest unfinished task only, and
// that task is kept to its share. The oldest task never waits for a later one, so the
// pipeline always moves on.
#include "core/RecordedBatch.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace tw {

class OrderedPipeline;

// A worker's handle on the output of its current task.
class TaskOutput {
public:
    RecordedBatch& batch() { return m_batch; }
    // Hands the batch on to the consumer and starts a new one; waits while the task holds
    // its share of memory in batches not yet taken.
    void publish();
    // The consumer has ended the run: output is dropped, and the task may end early.
    bool abandoned() const;
    // The size at which a batch is to be handed on.
    size_t batchLimit() const;

private:
    friend class OrderedPipeline;
    TaskOutput(OrderedPipeline& pipeline, size_t task) : m_pipeline(pipeline), m_task(task) {}
    OrderedPipeline& m_pipeline;
    size_t m_task;
    RecordedBatch m_batch;
};

class OrderedPipeline {
public:
    // `threads` workers (at least 1); at most `window` tasks in flight (at least threads).
    OrderedPipeline(size_t threads, size_t window, size_t memoryBudget = 8u << 20);
    ~OrderedPipeline();
    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    // produce(worker, task, out) runs on the workers (worker < threads); consume(batch) on
    // the calling thread, in task order, and returns false to end the run early (the tasks
    // after it are then not started, and the output of those under way is dropped).
    // idle() runs on the calling thread about every 20 ms while it waits.
    // False when consume ended the run. An exception from produce is thrown here, after
    // every worker has ended.
    // With `stop`, the run also ends when the flag is set as the consumer moves on to the
    // next task (the tasks after it then produce nothing).
    bool run(size_t count, const std::function<void(size_t worker, size_t task, TaskOutput& out)>& produce,
             const std::function<bool(RecordedBatch& batch)>& consume, const std::function<void()>& idle,
             const std::atomic<bool>* stop = nullptr);

    // Finds more tasks while the run goes on: returns how many tasks there are now (never
    // fewer than before) and sets *more to false once there will be no others.
    using Feeder = std::function<size_t(bool* more)>;
    // As run() with tasks that are found as the run goes: `feed` runs on the workers, on
    // one at a time, whenever fewer than `lowWater` found tasks wait to be started (and
    // when none do). Tasks keep their order; the consumer waits for a task not yet found.
    bool run(const Feeder& feed, size_t lowWater,
             const std::function<void(size_t worker, size_t task, TaskOutput& out)>& produce,
             const std::function<bool(RecordedBatch& batch)>& consume, const std::function<void()>& idle,
             const std::atomic<bool>* stop = nullptr);

    // Runs on each worker as it ends (after its last task, also when the run fails or is
    // ended early), for what a worker must release on its own thread.
    void setWorkerEnd(std::function<void(size_t worker)> end) { m_workerEnd = std::move(end); }

    // The bytes a batch may hold before its task hands it on.
    size_t batchBytes() const { return m_batchBytes; }

private:
    friend class TaskOutput;
    // One task in flight; the slot of task t is m_slots[t % window].
    struct Slot {
        std::deque<RecordedBatch> ready; // handed on, not yet taken, in order
        size_t bytes = 0;                // the size of `ready`
        bool done = false;               // the task has handed on its last batch
    };
    void workerLoop(size_t worker);
    // Sets up the state of a run (no worker runs yet).
    void startRun(const Feeder& feed, size_t lowWater,
                  const std::function<void(size_t, size_t, TaskOutput&)>& produce);
    bool consumeInOrder(const std::function<bool(RecordedBatch&)>& consume, const std::function<void()>& idle,
                        const std::atomic<bool>* stop);
    // Runs the feeder with m_feeding set; `lock` is released meanwhile. False on failure.
    bool feedTasks(std::unique_lock<std::mutex>& lock);
    void handOn(size_t task, RecordedBatch& batch, bool last);
    // Whether the consumer is to be woken now that a task has ended (m_mutex held).
    bool consumerHasWork() const;
    RecordedBatch freshBatch(); // with m_mutex held
    // The window's invariants (m_mutex held): m_head <= m_next <= m_count, and at most
    // m_window tasks in flight (m_next <= m_head + m_window).
    bool windowHolds() const { return m_head <= m_next && m_next <= m_count && m_next <= m_head + m_window; }

    const size_t m_threads;
    const size_t m_window;
    const size_t m_memoryBudget;
    size_t m_slotBytes;  // a task's share of the memory budget
    size_t m_batchBytes; // at most half of m_slotBytes
    size_t m_wakeAfter;  // finished tasks that wake the consumer (a quarter of the window)

    std::mutex m_mutex; // guards everything below
    std::condition_variable m_workersWake;  // a slot was freed, batches were taken, or the run ended
    std::condition_variable m_consumerWake; // a batch was handed on or a task ended
    std::vector<Slot> m_slots;
    size_t m_heldBytes = 0; // the sizes of all slots' `ready` batches; at most twice the budget
    std::vector<RecordedBatch> m_spare; // taken batches kept for reuse (their capacity stays)
    size_t m_count = 0;    // tasks of the current run found so far
    bool m_more = false;   // the feeder will find more tasks
    bool m_feeding = false; // a worker is running the feeder
    size_t m_lowWater = 0;  // feed when fewer found tasks than this wait to start
    size_t m_next = 0;     // the next task to start
    size_t m_head = 0;     // the oldest task not yet fully consumed; m_next <= m_head + m_window
    bool m_abandoned = false;
    std::exception_ptr m_failure; // the first exception from a task
    const std::function<void(size_t, size_t, TaskOutput&)>* m_produce = nullptr;
    const Feeder* m_feed = nullptr;
    std::function<void(size_t)> m_workerEnd; // may be empty
};

} // namespace tw
