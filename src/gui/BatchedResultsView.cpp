#include "gui/BatchedResultsView.h"

#include <utility>

namespace tw {

BatchedResultsView::BatchedResultsView(ResultsModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &BatchedResultsView::deliverPending);
}

void BatchedResultsView::appendLine(const ResultEntry& entry)
{
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_pendingCount < m_pending.size())
            m_pending[m_pendingCount] = entry;
        else
            m_pending.push_back(entry);
        ++m_pendingCount;
        if (m_pendingCount >= kBatchLines && !m_deliveryQueued) {
            m_deliveryQueued = true;
            post = true;
        }
    }
    if (post)
        QMetaObject::invokeMethod(this, &BatchedResultsView::deliverPending, Qt::QueuedConnection);
}

void BatchedResultsView::startRun()
{
    m_timer.start();
}

void BatchedResultsView::finishRun()
{
    m_timer.stop();
    deliverPending();
}

void BatchedResultsView::deliverPending()
{
    std::vector<ResultEntry> batch;
    size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_pending);
        m_pending.swap(m_spare);
        count = std::exchange(m_pendingCount, 0);
        m_deliveryQueued = false;
    }
    m_model.appendLines(std::span<const ResultEntry>(batch.data(), count));
    std::lock_guard lock(m_mutex);
    m_spare.swap(batch);
}

} // namespace tw
