#pragma once
// The results view of a run on the worker thread: gathers the lines the run shows and
// hands them to the ResultsModel on the GUI thread in batches, in the run's order, so the
// list fills smoothly without one signal per line. A batch goes over when enough lines are
// waiting, and otherwise from time to time while a run is active.
//
// Every insertion makes the list view lay out all its rows again, so a long list takes its
// lines in larger and rarer batches: a batch is a quarter of the rows already shown (at
// least kBatchLines, at most kMaxBatchLines, which keeps one insertion short for the GUI
// thread), and the timer hands lines over once kFlushMs plus a millisecond per
// kRowsPerExtraMs rows have passed since the last batch. The layouts of a run then cost a
// few times its rows rather than its rows times the number of batches.
#include "gui/ResultsModel.h"
#include "results/ResultsList.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <mutex>
#include <vector>

namespace tw {

class BatchedResultsView final : public QObject, public ResultsView {
    Q_OBJECT
public:
    static constexpr size_t kBatchLines = 4096;
    static constexpr size_t kMaxBatchLines = 32768;
    static constexpr int kFlushMs = 50;
    static constexpr size_t kRowsPerExtraMs = 2000;

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
    // The timer's slot: delivers the waiting lines when the last batch is long enough ago.
    void deliverIfDue();
    // The lines that make a batch for a list of `rows` rows.
    static size_t batchLinesFor(size_t rows);

    ResultsModel& m_model;
    QTimer m_timer;
    QElapsedTimer m_sinceDelivery; // GUI thread: since the last batch went over
    std::mutex m_mutex;
    // Guarded by m_mutex: m_pending holds the lines not yet in the model, in order, made
    // ready on the run's thread. m_spare is the batch the model took last, emptied; the two
    // swap, so their buffers are reused and a long run allocates nothing per line.
    ResultsModel::Batch m_pending;
    ResultsModel::Batch m_spare;
    bool m_deliveryQueued = false; // guarded by m_mutex; a size-triggered delivery is posted
    size_t m_batchLines = kBatchLines; // guarded by m_mutex; lines that make a batch now
};

} // namespace tw
