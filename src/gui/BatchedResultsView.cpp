#include "gui/BatchedResultsView.h"

#include <algorithm>
#include <utility>

namespace tw {

BatchedResultsView::BatchedResultsView(ResultsModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &BatchedResultsView::deliverIfDue);
    m_sinceDelivery.start();
}

size_t BatchedResultsView::batchLinesFor(size_t rows)
{
    return std::clamp(rows / 4, kBatchLines, kMaxBatchLines);
}

void BatchedResultsView::appendLine(const ResultEntry& entry)
{
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        m_pending.add(entry);
        if (m_pending.size() >= m_batchLines && !m_deliveryQueued) {
            m_deliveryQueued = true;
            post = true;
        }
    }
    if (post)
        QMetaObject::invokeMethod(this, &BatchedResultsView::deliverPending, Qt::QueuedConnection);
}

void BatchedResultsView::startRun()
{
    {
        std::lock_guard lock(m_mutex);
        m_batchLines = batchLinesFor(static_cast<size_t>(m_model.rowCount()));
    }
    m_sinceDelivery.start();
    m_timer.start();
}

void BatchedResultsView::deliverIfDue()
{
    const auto rows = static_cast<size_t>(m_model.rowCount());
    if (m_sinceDelivery.elapsed() < kFlushMs + static_cast<qint64>(rows / kRowsPerExtraMs))
        return;
    deliverPending();
}

void BatchedResultsView::finishRun()
{
    m_timer.stop();
    deliverPending();
}

void BatchedResultsView::deliverPending()
{
    ResultsModel::Batch batch;
    {
        std::lock_guard lock(m_mutex);
        std::swap(batch, m_pending);
        std::swap(m_pending, m_spare);
        m_deliveryQueued = false;
    }
    if (!batch.empty()) {
        m_model.appendBatch(batch);
        m_sinceDelivery.start();
    }
    const auto rows = static_cast<size_t>(m_model.rowCount());
    std::lock_guard lock(m_mutex);
    std::swap(m_spare, batch);
    m_batchLines = batchLinesFor(rows);
}

} // namespace tw
