#pragma once
// Runs one job at a time (a Search, Replace or file listing, or any other RunJob) on a
// worker thread: the run driver and the results list live here and are used by the worker
// only while a run is active; the lines reach the model through a BatchedResultsView. The
// GUI thread starts and stops runs and hears of their end through runFinished. The driver's
// host is the GuiRunHost itself; a stop reaches the run through the host (see start()).
#include "core/RunDriver.h"
#include "core/SearchRequest.h"
#include "gui/BatchedResultsView.h"
#include "gui/GuiRunHost.h"
#include "gui/ResultsModel.h"
#include "gui/RunJob.h"
#include "results/ResultsList.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

namespace tw {

class RunController final : public QObject {
    Q_OBJECT
public:
    RunController(GuiRunHost& host, ResultsModel& model, QObject* parent = nullptr);
    // Stops a run still active and waits for the worker.
    ~RunController() override;

    // Starts `job` on the worker thread; false when a run is active already. A stop asked
    // for from now on reaches the job's run even while it is starting (a run clears its
    // stop flag as it starts): the host passes it on again at each pump().
    bool start(RunJob job);
    // Starts `request` (a file listing when its search text is empty) with the given hit
    // texts, as the job searchJob() makes.
    bool start(SearchRequest request, const std::string& beforeHit, const std::string& afterHit);
    // The job of a Search, Replace or file listing.
    static RunJob searchJob(SearchRequest request, const std::string& beforeHit, const std::string& afterHit);
    // The heading of the last run started (its date, texts, path, masks and flags).
    const std::string& runHeading() const { return m_heading; }
    // Requests a stop: the run's stop flag is set and an open question resolves as Cancel.
    void requestStop();
    // For a job's work on the worker thread: a stop was asked for the active run, and the
    // results list its lines go to (after those already there).
    bool stopRequested() const { return m_stopRequested.load(); }
    ResultStream& jobResults() { return m_results; }
    // True from start() until runFinished has been emitted.
    bool running() const { return m_thread != nullptr; }

    // Forgets the file list kept for "Cache File List", so the next run walks again.
    // Only while idle: the worker uses the cache during a run.
    void discardFileListCache()
    {
        if (!running())
            m_driver.cache().clear();
    }

    // The last run's outcome and counters (valid once it has finished).
    RunOutcome lastOutcome() const { return m_outcome; }
    const RunCounters& counters() const { return m_driver.counters(); }
    // The last run's exit status as tarnwick-cli gives it (runExitStatus); valid once it
    // has finished.
    int exitStatus() const;

signals:
    void runFinished(tw::RunOutcome outcome);

private:
    void onThreadFinished();

    GuiRunHost& m_host;
    BatchedResultsView m_view;
    ResultsList m_results;  // used by the worker only while m_thread is set
    RunDriver m_driver;     // likewise; kept across runs for its file-list cache
    std::string m_heading;  // the run heading of the last job started
    bool m_listing = false; // the last job started lists files
    QThread* m_thread = nullptr; // non-null exactly while a run is active
    RunOutcome m_outcome = RunOutcome::NotRun; // written by the worker, read after it ends
    std::atomic<bool> m_stopRequested{false};  // a stop was asked for the active run
};

} // namespace tw
