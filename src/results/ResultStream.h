#pragma once
// The stream of results lines as the work on a file sends it: a file's name goes ahead of
// its first line, then its lines, in order. Every consumer of lines implements it: the
// results list, a worker's recorder, test fakes.
#include "results/ResultEntry.h"

#include <string>

namespace tw {

class ResultStream {
public:
    virtual ~ResultStream() = default;
    // The next line added for this file is preceded by its file line. `archivePath` is
    // non-empty for archive members (the file line then names "archive | member").
    virtual void setPendingFile(const std::string& path, const std::string& archivePath = {}) = 0;
    // Emits the pending file line, if any.
    virtual void emitPendingFileLine() = 0;
    // Adds one line (no file line in front; see addResultLines).
    virtual void addLine(const ResultEntry& entry) = 0;

    // The pending file line first, then `line`.
    void addResultLines(const ResultEntry& line)
    {
        emitPendingFileLine();
        addLine(line);
    }
};

} // namespace tw
