#pragma once
// The results view of a run on the worker thread: gathers the lines the run shows and
// hands them to the ResultsModel on the GUI thread in batches, in the run's order. A batch
// goes over when kBatchLines lines are waiting, and otherwise every kFlushMs while a run
// is active, so the list fills smoothly without one signal per line.
#include "gui/ResultsModel.h"
#include "results/ResultsList.h"

#include <QObject>
#include <QTimer>

#include <mutex>
#include <vector>

namespace tw {

class BatchedResultsView final : public QObject, public ResultsView {
    Q_OBJECT
public:
    static constexpr size_t kBatchLines = 4096;
    static constexpr int kFlushMs = 50;

    // Lives on the GUI thread, as does `model`.
    explicit BatchedResultsView(ResultsModel& model, QObject* parent = nullptr);

    // Worker thread.
    void appendLine(const ResultEntry& entry) override;

    // GUI thread: starts and stops the periodic hand-over around a run.
    void startRun();
    // Hands every waiting line to the model and stops the timer; called once the worker
    // has returned, so no line is left behind.
    void finishRun();
    // GUI thread: moves the waiting lines to the model (one insertion).
    void deliverPending();

private:
    ResultsModel& m_model;
    QTimer m_timer;
    std::mutex m_mutex;
    // Guarded by m_mutex: the lines not yet in the model are the first m_pendingCount of
    // m_pending, in order. The entries past them, and those of m_spare (the batch the model
    // took last), are kept for their strings' capacity: a line is copied over an old one, so
    // a long run allocates nothing per line and frees nothing on the other thread.
    std::vector<ResultEntry> m_pending;
    size_t m_pendingCount = 0;
    std::vector<ResultEntry> m_spare;
    bool m_deliveryQueued = false; // guarded by m_mutex; a size-triggered delivery is posted
};

} // namespace tw
