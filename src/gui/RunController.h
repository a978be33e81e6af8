#pragma once
// Runs one Search, Replace or file listing at a time on a worker thread: the run driver
// and the results list live here and are used by the worker only while a run is active;
// the lines reach the model through a BatchedResultsView. The GUI thread starts and stops
// runs and hears of their end through runFinished.
#include "core/RunDriver.h"
#include "core/SearchRequest.h"
#include "gui/BatchedResultsView.h"
#include "gui/GuiRunHost.h"
#include "gui/ResultsModel.h"
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

    // Starts `request` (a file listing when its search text is empty) with the given hit
    // texts; false when a run is active already.
    bool start(SearchRequest request, const std::string& beforeHit, const std::string& afterHit);
    // The heading of the last run started (its date, texts, path, masks and flags).
    const std::string& runHeading() const { return m_heading; }
    // Requests a stop: the run's stop flag is set and an open question resolves as Cancel.
    void requestStop();
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
    // The host the driver sees: everything goes to the GUI host; pump() also passes on a
    // stop asked for while the run was starting (a run clears its stop flag when it
    // starts, so a stop asked just before would otherwise be lost).
    class StopRelay final : public RunHost {
    public:
        explicit StopRelay(RunController& controller) : m_controller(controller) {}
        void pump() override;
        void message(const std::string& text, bool suppressedByQuiet) override
        {
            m_controller.m_host.message(text, suppressedByQuiet);
        }
        void noFilesFound(const std::vector<std::string>& paragraphs, bool suppressedByQuiet) override
        {
            m_controller.m_host.noFilesFound(paragraphs, suppressedByQuiet);
        }
        Answer ask(Question kind, const std::string& text, const HeldBackLines& detail) override
        {
            return m_controller.m_host.ask(kind, text, detail);
        }
        void progress(const std::string& text) override { m_controller.m_host.progress(text); }
        void title(const std::string& text) override { m_controller.m_host.title(text); }
        void fileProgress(long remaining, long percent, std::string_view path) override
        {
            m_controller.m_host.fileProgress(remaining, percent, path);
        }
        void byteProgress(std::string_view path, int64_t done) override { m_controller.m_host.byteProgress(path, done); }
        bool showsProgress() const override { return m_controller.m_host.showsProgress(); }
        std::string defaultPrinter() override { return m_controller.m_host.defaultPrinter(); }
        void printFile(const std::string& path, const std::string& printer) override
        {
            m_controller.m_host.printFile(path, printer);
        }

    private:
        RunController& m_controller;
    };

    void onThreadFinished();

    GuiRunHost& m_host;
    StopRelay m_relay{*this};
    BatchedResultsView m_view;
    ResultsList m_results;  // used by the worker only while m_thread is set
    RunDriver m_driver;     // likewise; kept across runs for its file-list cache
    SearchRequest m_request; // the active run's request, read by the worker
    std::string m_heading;   // the run heading of m_request
    QThread* m_thread = nullptr; // non-null exactly while a run is active
    RunOutcome m_outcome = RunOutcome::NotRun; // written by the worker, read after it ends
    std::atomic<bool> m_stopRequested{false};  // a stop was asked for the active run
};

} // namespace tw
