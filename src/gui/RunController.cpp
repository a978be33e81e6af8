#include "gui/RunController.h"

#include "app/RunRequest.h"

#include <QThread>

#include <exception>

namespace tw {

RunController::RunController(GuiRunHost& host, ResultsModel& model, QObject* parent)
    : QObject(parent), m_host(host), m_view(model), m_driver(m_relay, m_results)
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
    }
}

bool RunController::start(SearchRequest request, const std::string& beforeHit, const std::string& afterHit)
{
    if (m_thread)
        return false;
    m_request = std::move(request);
    m_heading = BuildRunHeading(m_request, m_request.startedText);
    m_results.setHitTexts(beforeHit, afterHit);
    m_stopRequested = false;
    m_outcome = RunOutcome::NotRun;
    m_host.beginRun();
    // The printer is asked for here, on the GUI thread, and only when it is needed.
    if (namesDefaultPrinter(m_request.options.outputFile))
        m_host.findDefaultPrinter();
    m_view.startRun();
    m_thread = QThread::create([this] {
        if (m_stopRequested)
            return;
        try {
            const bool listOnly = m_request.pairs.empty() || m_request.pairs.front().searchText.empty();
            m_outcome = listOnly ? m_driver.ListFilesOnly(m_request) : m_driver.ExecuteRun(m_request);
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
    const bool listing = m_request.pairs.empty() || m_request.pairs.front().searchText.empty();
    return runExitStatus(m_outcome, m_driver.counters(), listing, m_results.outputFailed());
}

void RunController::requestStop()
{
    if (!m_thread)
        return;
    m_stopRequested = true;
    m_driver.requestStop();
    m_host.stopQuestions();
}

void RunController::StopRelay::pump()
{
    if (m_controller.m_stopRequested)
        m_controller.m_driver.requestStop();
    m_controller.m_host.pump();
}

void RunController::onThreadFinished()
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    // Every line of the run is in the view's buffer now; the model gets the rest.
    m_view.finishRun();
    emit runFinished(m_outcome);
}

} // namespace tw
