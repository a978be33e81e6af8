#pragma once
// What the run driver needs of the results list. The list decides where a line goes:
// the held-back store while a file is undecided, else the visible list and the output file.
#include "results/ResultEntry.h"

#include <string>

namespace tw {

class ResultSink {
public:
    virtual ~ResultSink() = default;
    // The next line added for this file is preceded by its file line. `archivePath` is
    // non-empty for archive members (the file line then names "archive | member").
    virtual void setPendingFile(const std::string& path, const std::string& archivePath = {}) = 0;
    // Emits the pending file line, if any.
    virtual void emitPendingFileLine() = 0;
    // Adds one line (no file line in front; see addResultLines).
    virtual void addLine(const ResultEntry& entry) = 0;
    // Holding lines back per file (replace runs, script expressions).
    virtual bool beginHoldBack() = 0;
    virtual void flushHeldBack() = 0;
    virtual void discardHeldBack() = 0;
    virtual void endHoldBack() = 0;
    // Copies the lines held back for the current file (for the per-hit question).
    virtual std::string heldBackText() = 0;

    // The pending file line first, then `line` when not empty, then `extra` when given.
    void addResultLines(const ResultEntry& line, const std::string* extra = nullptr)
    {
        emitPendingFileLine();
        if (!line.text.empty())
            addLine(line);
        if (extra)
            addLine(ResultEntry{*extra, 0});
    }
};

} // namespace tw
