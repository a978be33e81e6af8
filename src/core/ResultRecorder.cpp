#include "core/ResultRecorder.h"

namespace tw {

RecordedBatch::Event& ResultRecorder::push(RecordedBatch::Op op)
{
    RecordedBatch& b = m_out->batch();
    b.events.emplace_back();
    RecordedBatch::Event& ev = b.events.back();
    ev.op = op;
    return ev;
}

void ResultRecorder::done()
{
    if (m_out->batch().bytes() >= m_out->batchLimit()) {
        m_out->publish();
        m_hasLastPath = false;
    }
}

void ResultRecorder::withText(RecordedBatch::Op op, std::string_view text)
{
    const RecordedBatch::Span span = m_out->batch().store(text);
    push(op).text = span;
    done();
}

void ResultRecorder::fileProgress(long remaining, long percent, std::string_view path)
{
    const RecordedBatch::Span span = m_out->batch().store(path);
    RecordedBatch::Event& ev = push(RecordedBatch::Op::FileProgress);
    ev.text = span;
    ev.lineNumber = remaining;
    ev.fileOffset = percent;
    done();
}

void ResultRecorder::setPendingFile(const std::string& path, const std::string& archivePath)
{
    RecordedBatch& b = m_out->batch();
    const RecordedBatch::Span p = b.store(path);
    const RecordedBatch::Span a = b.store(archivePath);
    RecordedBatch::Event& ev = push(RecordedBatch::Op::PendingFile);
    ev.text = p;
    ev.path = a;
    m_pending = true;
    done();
}

void ResultRecorder::addLine(const ResultEntry& entry)
{
    RecordedBatch& b = m_out->batch();
    const RecordedBatch::Span text = b.store(entry.text);
    if (!m_hasLastPath || b.view(m_lastPathSpan) != entry.path) {
        m_lastPathSpan = b.store(entry.path);
        m_hasLastPath = true;
    }
    const RecordedBatch::Span archive = b.store(entry.archivePath);
    RecordedBatch::Event& ev = push(RecordedBatch::Op::Line);
    ev.fields() = entry.fields();
    ev.text = text;
    ev.path = m_lastPathSpan;
    ev.archive = archive;
    done();
}

void ResultRecorder::message(const std::string& text, bool suppressedByQuiet)
{
    const RecordedBatch::Span span = m_out->batch().store(text);
    RecordedBatch::Event& ev = push(RecordedBatch::Op::Message);
    ev.text = span;
    ev.flag = suppressedByQuiet;
    done();
}

void ResultRecorder::fileEnd(const FileReport& report)
{
    RecordedBatch& b = m_out->batch();
    // Copied over a report the batch held before, whose strings keep their capacity.
    if (b.reportCount < b.reports.size())
        b.reports[b.reportCount] = report;
    else
        b.reports.push_back(report);
    push(RecordedBatch::Op::FileEnd).index = static_cast<uint32_t>(b.reportCount++);
    done();
}

} // namespace tw
