#include "gui/RunController.h"

#include "app/RunRequest.h"

#include <QThread>

#include <exception>

namespace tw {

RunController::RunController(GuiRunHost& host, ResultsModel& model, QObject* parent)
    : QObject(parent), m_host(host), m_view(model), m_driver(host, m_results)
{
    m_results.setView(&m_view);
}

RunController::~RunController()
{
    if (m_thread) {
        m_stopRequested = true;
        m_driver.requestStop();
        m_host.stopQuestions();
        // The worker no longer waits for the GUI thread, so it ends.
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
        m_host.endRun();
    }
}

RunJob RunController::searchJob(SearchRequest request, const std::string& beforeHit, const std::string& afterHit)
{
    RunJob job;
    job.heading = buildRunHeading(request, request.startedText);
    job.listing = isListing(request);
    job.usesDefaultPrinter = namesDefaultPrinter(request.options.outputFile);
    job.beforeHit = beforeHit;
    job.afterHit = afterHit;
    job.work = [request = std::move(request), listing = job.listing](RunDriver& driver) mutable {
        return listing ? driver.ListFilesOnly(request) : driver.ExecuteRun(request);
    };
    return job;
}

bool RunController::start(SearchRequest request, const std::string& beforeHit, const std::string& afterHit)
{
    return start(searchJob(std::move(request), beforeHit, afterHit));
}

bool RunController::start(RunJob job)
{
    if (m_thread)
        return false;
    m_heading = std::move(job.heading);
    m_listing = job.listing;
    m_results.setHitTexts(job.beforeHit, job.afterHit);
    m_stopRequested = false;
    m_outcome = RunOutcome::NotRun;
    m_host.beginRun([this] { m_driver.requestStop(); });
    // The printer is asked for here, on the GUI thread, and only when it is needed.
    if (job.usesDefaultPrinter)
        m_host.findDefaultPrinter();
    m_view.startRun();
    m_thread = QThread::create([this, work = std::move(job.work)] {
        if (m_stopRequested)
            return;
        try {
            m_outcome = work(m_driver);
        } catch (const std::exception& e) {
            // The run's objects have cleaned up on the way out; say what happened.
            m_host.message(std::string("The run ended early: ") + e.what(), false);
            m_outcome = RunOutcome::Stopped;
        }
    });
    connect(m_thread, &QThread::finished, this, &RunController::onThreadFinished);
    m_thread->start();
    return true;
}

int RunController::exitStatus() const
{
    return runExitStatus(m_outcome, m_driver.counters(), m_listing, m_results.outputFailed());
}

void RunController::requestStop()
{
    if (!m_thread)
        return;
    m_stopRequested = true;
    m_driver.requestStop();
    m_host.stopQuestions();
}

void RunController::onThreadFinished()
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_host.endRun();
    // Every line of the run is in the view's buffer now; the model gets the rest.
    m_view.finishRun();
    emit runFinished(m_outcome);
}

} // namespace tw
