#pragma once
// What "Undo Last Replace..." shows and does: the latest replace run of the undo history
// not yet taken back, each of its files with its state (would be restored, changed since
// the replace, missing, no complete copy), and the take-back. The dialog only shows the
// rows; takeBack writes files and may run on the worker thread.
#include "core/UndoHistory.h"

#include <string>
#include <vector>

namespace tw {

class UndoReplaceModel {
public:
    UndoReplaceModel(FileSystem& fs, FileOps& ops, std::string dataDir);

    // Reads the history and checks every file of the last run; false when no run is left.
    bool load();
    // The run: date and time, texts, number of files.
    const std::string& heading() const { return m_heading; }
    size_t rowCount() const { return m_files.size(); }
    std::string rowName(size_t row) const;
    UndoFileState rowState(size_t row) const;
    std::string rowStateText(size_t row) const { return undoStateText(rowState(row)); }
    // Damaged records and lines that were skipped.
    const std::vector<std::string>& problems() const { return m_problems; }
    // OK would write at least one file.
    bool anyToRestore() const;
    // Takes the loaded run back (each file checked again right before it is written);
    // one line per file in `lines`.
    UndoTakeBack takeBack(std::vector<std::string>* lines);

private:
    UndoHistory m_history;
    std::optional<UndoRunRecord> m_run;
    std::vector<UndoFileCheck> m_files;
    std::vector<std::string> m_problems;
    std::string m_heading;
};

} // namespace tw
