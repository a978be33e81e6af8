#pragma once
// A piece of the output of a file's work done on a worker thread: its results lines,
// messages, progress texts, counts and file reports, in the order they were made, to be
// replayed on the run's own thread. The texts live in one character buffer and the events
// refer to them by offset, so recording a line copies bytes and allocates nothing once the
// batch has grown (batches are reused).
#include "core/FileReport.h"
#include "results/ResultEntry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct RecordedBatch {
    enum class Op : uint8_t {
        PendingFile,   // setPendingFile(text = path, path = archive path)
        EmitPending,   // emitPendingFileLine()
        Line,          // addLine(the entry)
        Message,       // host message(text, flag = suppressed by quiet)
        Progress,      // host progress(text)
        Title,         // host title(text)
        FileProgress,  // host fileProgress(lineNumber = remaining, fileOffset = percent, text = path)
        FileSearched,  // one more file searched
        FileError,     // one more file error line
        ArchiveOpened, // one more archive opened
        FileEnd,       // reports[index]: the file or member is done
    };
    // A text in `text`: [offset, offset + length).
    struct Span {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    // A Line event's ResultFields are those of its entry; other events use lineNumber and
    // fileOffset as their operation says.
    struct Event : ResultFields {
        Op op = Op::Line;
        bool flag = false;  // Message: suppressed by quiet
        uint32_t index = 0; // FileEnd: into reports
        Span text, path, archive;
    };

    std::vector<Event> events;
    std::string text;                // every text the events refer to
    std::vector<FileReport> reports; // FileEnd events, in order; only the first reportCount are in use
    size_t reportCount = 0;

    // Bytes held, as counted against the memory budget.
    size_t bytes() const { return text.size() + events.size() * sizeof(Event) + reportCount * sizeof(FileReport); }
    bool empty() const { return events.empty(); }
    // Empties the batch and keeps its capacity; outputs handed over with its reports go.
    void clear()
    {
        for (size_t i = 0; i < reportCount; ++i)
            reports[i].keptOutput.reset();
        events.clear();
        text.clear();
        reportCount = 0;
    }
    std::string_view view(Span s) const { return std::string_view(text).substr(s.offset, s.length); }
    Span store(std::string_view s)
    {
        const Span span{static_cast<uint32_t>(text.size()), static_cast<uint32_t>(s.size())};
        text.append(s);
        return span;
    }
    // The entry of a Line event, written over `e` so that its strings keep their capacity.
    void entryOf(const Event& ev, ResultEntry& e) const
    {
        e.text.assign(view(ev.text));
        e.path.assign(view(ev.path));
        e.archivePath.assign(view(ev.archive));
        e.fields() = ev.fields();
    }
};

} // namespace tw
