#include "core/OrderedPipeline.h"

#include "platform/Assert.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tw {

void TaskOutput::publish()
{
    m_pipeline.handOn(m_task, m_batch, false);
}

bool TaskOutput::abandoned() const
{
    std::lock_guard<std::mutex> lock(m_pipeline.m_mutex);
    return m_pipeline.m_abandoned;
}

size_t TaskOutput::batchLimit() const
{
    return m_pipeline.m_batchBytes;
}

OrderedPipeline::OrderedPipeline(size_t threads, size_t window, size_t memoryBudget)
    : m_threads(std::max<size_t>(threads, 1)), m_window(std::max(window, m_threads)), m_memoryBudget(memoryBudget)
{
    m_slotBytes = std::max<size_t>(memoryBudget / m_window, 64 * 1024);
    m_batchBytes = m_slotBytes / 2;
    m_wakeAfter = std::max<size_t>(m_window / 4, 1);
    TW_ASSERT(m_window >= m_threads && 2 * m_batchBytes <= m_slotBytes);
}

OrderedPipeline::~OrderedPipeline() = default;

RecordedBatch OrderedPipeline::freshBatch()
{
    if (m_spare.empty())
        return RecordedBatch{};
    RecordedBatch b = std::move(m_spare.back());
    m_spare.pop_back();
    return b;
}

void OrderedPipeline::handOn(size_t task, RecordedBatch& batch, bool last)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Only a task in flight hands on, into its own slot.
    TW_ASSERT(windowHolds() && m_head <= task && task < m_next);
    Slot& slot = m_slots[task % m_window];
    // A task beyond its share of memory goes on while the batches held by all tasks stay
    // under the budget, so one task with much output does not hold up the workers. The
    // oldest task is kept to its share, which the consumer takes as it comes, so it never
    // waits long and the others wait their turn.
    auto mayHandOn = [&] {
        return m_abandoned || slot.bytes < m_slotBytes || (task != m_head && m_heldBytes < m_memoryBudget);
    };
    if (!mayHandOn()) {
        m_consumerWake.notify_one(); // it may be waiting for more finished tasks
        m_workersWake.wait(lock, mayHandOn);
    }
    if (m_abandoned) {
        batch.clear();
        return;
    }
    if (!batch.empty()) {
        slot.bytes += batch.bytes();
        m_heldBytes += batch.bytes();
        slot.ready.push_back(std::move(batch));
        TW_ASSERT(slot.bytes <= m_heldBytes);
        if (!last) {
            batch = freshBatch();
            batch.clear();
        }
    } else if (last && m_spare.size() < 2 * m_window) {
        m_spare.push_back(std::move(batch));
    }
    slot.done = last;
    if (last ? consumerHasWork() : task == m_head)
        m_consumerWake.notify_one();
}

bool OrderedPipeline::consumerHasWork() const
{
    // The consumer only ever waits for the oldest task. Once that is over it is woken when
    // several finished tasks wait for it, when the workers could not start another task
    // without it, or when no task is left to start; each wake-up then does the work of
    // several tasks instead of costing two thread switches per task.
    TW_ASSERT(windowHolds());
    size_t finished = 0;
    while (m_head + finished < m_next && finished < m_wakeAfter && m_slots[(m_head + finished) % m_window].done)
        ++finished;
    if (finished == 0)
        return false;
    return finished >= m_wakeAfter || m_next >= m_head + m_window || (!m_more && m_next >= m_count);
}

bool OrderedPipeline::feedTasks(std::unique_lock<std::mutex>& lock)
{
    m_feeding = true;
    lock.unlock();
    size_t count = 0;
    bool more = false;
    std::exception_ptr failure;
    try {
        count = (*m_feed)(&more);
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    m_feeding = false;
    if (failure) {
        if (!m_failure)
            m_failure = failure;
        m_abandoned = true;
        m_more = false;
    } else {
        m_count = std::max(m_count, count);
        m_more = more;
    }
    m_workersWake.notify_all();
    m_consumerWake.notify_one();
    return !failure;
}

void OrderedPipeline::workerLoop(size_t worker)
{
    struct End {
        const std::function<void(size_t)>& end;
        size_t worker;
        ~End()
        {
            if (end)
                end(worker);
        }
    } atEnd{m_workerEnd, worker};
    RecordedBatch batch;
    for (;;) {
        size_t task = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                if (m_abandoned)
                    return;
                const bool startable = m_next < m_count && m_next < m_head + m_window;
                // Find more before the found ones run out, so that no worker waits for them.
                if (m_more && !m_feeding && (!startable || m_count - m_next < m_lowWater)) {
                    if (!feedTasks(lock))
                        return;
                    continue;
                }
                if (startable)
                    break;
                if (!m_more && !m_feeding && m_next >= m_count)
                    return;
                if (m_next >= m_head + m_window)
                    m_consumerWake.notify_one(); // the window is full: only the consumer frees it
                m_workersWake.wait(lock);
            }
            task = m_next++;
            TW_ASSERT(windowHolds());
            batch = freshBatch();
        }
        TaskOutput out(*this, task);
        out.m_batch = std::move(batch);
        out.m_batch.clear();
        try {
            (*m_produce)(worker, task, out);
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
            m_abandoned = true;
            m_workersWake.notify_all();
            m_consumerWake.notify_one();
            return;
        }
        handOn(task, out.m_batch, true);
    }
}

bool OrderedPipeline::run(size_t count, const std::function<void(size_t, size_t, TaskOutput&)>& produce,
                          const std::function<bool(RecordedBatch&)>& consume, const std::function<void()>& idle,
                          const std::atomic<bool>* stop)
{
    const Feeder all = [count](bool* more) {
        *more = false;
        return count;
    };
    return run(all, 0, produce, consume, idle, stop);
}

void OrderedPipeline::startRun(const Feeder& feed, size_t lowWater,
                               const std::function<void(size_t, size_t, TaskOutput&)>& produce)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slots.assign(m_window, Slot{});
    m_heldBytes = 0;
    m_count = 0;
    m_more = true;
    m_feeding = false;
    m_lowWater = lowWater;
    m_feed = &feed;
    m_next = 0;
    m_head = 0;
    m_abandoned = false;
    m_failure = nullptr;
    m_produce = &produce;
}

// Hands the batches to `consume` in task order until every task is consumed, consume
// returns false, `stop` is set or a task failed. False when the run ended early.
bool OrderedPipeline::consumeInOrder(const std::function<bool(RecordedBatch&)>& consume,
                                     const std::function<void()>& idle, const std::atomic<bool>* stop)
{
    bool completed = true;
    RecordedBatch batch;
    while (completed) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if ((m_head >= m_count && !m_more) || m_failure)
                break;
            Slot& slot = m_slots[m_head % m_window];
            if (slot.ready.empty() && !slot.done) {
                lock.unlock();
                idle();
                lock.lock();
                m_consumerWake.wait_for(lock, std::chrono::milliseconds(20), [&] {
                    return m_failure || !slot.ready.empty() || slot.done || (m_head >= m_count && !m_more);
                });
                continue;
            }
            if (slot.ready.empty()) {
                // The task is over and all of it taken: its slot goes to the task `window` on.
                TW_ASSERT(m_head < m_next);
                slot = Slot{};
                ++m_head;
                m_workersWake.notify_all();
                if (stop && stop->load()) {
                    completed = false;
                    break;
                }
                continue;
            }
            if (m_spare.size() < 2 * m_window)
                m_spare.push_back(std::move(batch));
            batch = std::move(slot.ready.front());
            slot.ready.pop_front();
            TW_ASSERT(batch.bytes() <= slot.bytes && slot.bytes <= m_heldBytes);
            slot.bytes -= batch.bytes();
            m_heldBytes -= batch.bytes();
            m_workersWake.notify_all();
        }
        completed = consume(batch);
        batch.clear();
    }
    return completed;
}

bool OrderedPipeline::run(const Feeder& feed, size_t lowWater,
                          const std::function<void(size_t, size_t, TaskOutput&)>& produce,
                          const std::function<bool(RecordedBatch&)>& consume, const std::function<void()>& idle,
                          const std::atomic<bool>* stop)
{
    startRun(feed, lowWater, produce);
    std::vector<std::thread> workers;
    workers.reserve(m_threads);
    // Joins the workers on every way out; an exception from consume ends them too.
    struct Join {
        OrderedPipeline& p;
        std::vector<std::thread>& workers;
        ~Join()
        {
            {
                std::lock_guard<std::mutex> lock(p.m_mutex);
                if (p.m_head < p.m_count || p.m_more)
                    p.m_abandoned = true;
                p.m_workersWake.notify_all();
            }
            for (std::thread& t : workers)
                t.join();
        }
    } join{*this, workers};
    for (size_t w = 0; w < m_threads; ++w)
        workers.emplace_back([this, w] { workerLoop(w); });

    const bool completed = consumeInOrder(consume, idle, stop);
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        failure = m_failure;
    }
    if (failure) {
        // Join before the exception leaves, so that no worker outlives the run.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_abandoned = true;
            m_workersWake.notify_all();
        }
        for (std::thread& t : workers)
            t.join();
        workers.clear();
        std::rethrow_exception(failure);
    }
    return completed;
}

} // namespace tw
