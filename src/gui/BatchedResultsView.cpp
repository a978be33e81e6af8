#include "gui/BatchedResultsView.h"

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
        m_pending.push_back(entry);
        if (m_pending.size() >= kBatchLines && !m_deliveryQueued) {
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
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_pending);
        m_deliveryQueued = false;
    }
    m_model.appendLines(batch);
}

} // namespace tw
