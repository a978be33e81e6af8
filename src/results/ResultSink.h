#pragma once
// What the run driver needs of the results list. The list decides where a line goes:
// the held-back store while a file is undecided, else the visible list and the output file.
#include "results/HeldBackLines.h"
#include "results/ResultEntry.h"

#include <cstddef>
#include <functional>
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
    // The lines held back for the current file (for the per-hit question); read on demand.
    virtual const HeldBackLines& heldBack() = 0;

    // The texts that stand for the hit markers in the output file.
    virtual void setHitTexts(std::string before, std::string after) = 0;
    // Creates (empties) the output file `name` for the lines of a run; an empty name: no
    // output file. Refused when the name leads to one of the `fileCount` files to process
    // (`fileAt(i)` names them). False when refused or not created.
    virtual bool openOutputFile(const std::string& name, size_t fileCount,
                                const std::function<std::string(size_t)>& fileAt) = 0;
    virtual bool hasOutputFile() const = 0;
    // Closes the output file of the run (a failure flag stays readable).
    virtual void closeOutputFile() = 0;
    // Writes raw text to the output file (the run heading).
    virtual void writeToOutput(const std::string& text) = 0;

    // The pending file line first, then `line`.
    void addResultLines(const ResultEntry& line)
    {
        emitPendingFileLine();
        addLine(line);
    }
};

} // namespace tw
