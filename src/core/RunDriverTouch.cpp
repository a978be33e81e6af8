// The driver's Touch operations: collecting the files as a run would, and touching them.
#include "core/RunDriver.h"

#include "select/FileList.h"

namespace tw {

namespace {

// The lines of the files left alone or in error go to the results; a touched file
// adds nothing but its count. After each file the host is pumped, which is where a stop
// asked for reaches the run.
class ResultsTouchSink final : public TouchSink {
public:
    ResultsTouchSink(ResultSink& results, RunHost& host) : m_results(results), m_host(host) {}
    void line(const TouchLine& line) override
    {
        if (line.outcome != TouchOutcome::Touched)
            m_results.addLine(ResultEntry::error(line.text, line.path));
        m_host.pump();
    }

private:
    ResultSink& m_results;
    RunHost& m_host;
};

} // namespace

RunOutcome RunDriver::CollectTouchList(const SearchRequest& request, FileList& list)
{
    if (m_active.load())
        return RunOutcome::NotRun;
    RunGuard guard(*this);
    m_counters = RunCounters{};
    const bool complete = collectTouchFiles(m_fs, request, list, &m_stop, [this] { m_host.pump(); });
    return complete ? RunOutcome::Completed : RunOutcome::Stopped;
}

RunOutcome RunDriver::TouchFileList(const FileList& list, const TouchRequest& touch)
{
    if (m_active.load())
        return RunOutcome::NotRun;
    RunGuard guard(*this);
    m_counters = RunCounters{};
    ResultsTouchSink sink(m_results, m_host);
    TouchFiles files(m_fs, realFileOps(), touch);
    const TouchCounts counts = files.applyAll(list, sink, &m_stop);
    m_counters.fileErrors = counts.failed;
    m_results.addLine(ResultEntry::summary(touchSummaryText(counts)));
    const bool stopped = m_stop.load();
    if (stopped)
        m_results.addLine(ResultEntry::notice("Execution interrupted by the user!"));
    return stopped ? RunOutcome::Stopped : RunOutcome::Completed;
}

} // namespace tw
