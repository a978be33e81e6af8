#pragma once
// The results list and the front end as a worker thread sees them: everything a file's
// work sends to either is recorded into the task's batch, to be replayed in file order on
// the run's own thread. Only what a search does on a file is recorded (file lines, lines,
// messages, progress, title). Holding back and the output file belong to the run's thread:
// a recorder is only a line stream, and it answers every question with Cancel.
#include "core/OrderedPipeline.h"
#include "core/RunHost.h"
#include "results/ResultStream.h"

namespace tw {

class ResultRecorder final : public ResultStream, public RunHost {
public:
    ResultRecorder() = default;
    // The task whose output is recorded now.
    void setOutput(TaskOutput* out)
    {
        m_out = out;
        m_hasLastPath = false;
    }

    // The counts the run keeps.
    void fileSearched() { simple(RecordedBatch::Op::FileSearched); }
    void fileError() { simple(RecordedBatch::Op::FileError); }
    void archiveOpened() { simple(RecordedBatch::Op::ArchiveOpened); }
    // The work on one file or member is done; the steps that follow it get `report`.
    void fileEnd(const FileReport& report);

    // ResultStream
    void setPendingFile(const std::string& path, const std::string& archivePath = {}) override;
    void emitPendingFileLine() override
    {
        // Only the first call after setPendingFile does anything on replay.
        if (m_pending) {
            m_pending = false;
            simple(RecordedBatch::Op::EmitPending);
        }
    }
    void addLine(const ResultEntry& entry) override;

    // RunHost
    void message(const std::string& text, bool suppressedByQuiet) override;
    Answer ask(Question, const std::string&, const HeldBackLines&) override { return Answer::Cancel; }
    void progress(const std::string& text) override { withText(RecordedBatch::Op::Progress, text); }
    void title(const std::string& text) override { withText(RecordedBatch::Op::Title, text); }
    void fileProgress(long remaining, long percent, std::string_view path) override;
    bool showsProgress() const override { return m_showsProgress; }
    // Whether the run's host shows progress (see RunHost::showsProgress).
    void setShowsProgress(bool shows) { m_showsProgress = shows; }
    // A long file's progress is not recorded: it goes at once to the run's host (which
    // takes it on any thread), since the file's batch is replayed only once it is done.
    void setLiveHost(RunHost* host) { m_live = host; }
    void byteProgress(std::string_view path, int64_t done) override
    {
        if (m_live && m_showsProgress)
            m_live->byteProgress(path, done);
    }

private:
    RecordedBatch::Event& push(RecordedBatch::Op op);
    void simple(RecordedBatch::Op op) { push(op); done(); }
    void withText(RecordedBatch::Op op, std::string_view text);
    // Hands the batch on once it has grown to the pipeline's batch size.
    void done();

    TaskOutput* m_out = nullptr;
    // The path stored last in the current batch, so that the lines of one file store it once.
    RecordedBatch::Span m_lastPathSpan;
    bool m_hasLastPath = false; // m_lastPathSpan is valid in the current batch
    bool m_showsProgress = true;
    RunHost* m_live = nullptr;
    bool m_pending = false;     // a file line is pending: setPendingFile was recorded since the last emit
};

} // namespace tw
