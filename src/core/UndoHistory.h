#pragma once
// The undo history in "<dataDir>undo/": per replace run a record (UndoRecord.h) and the
// unchanged copies of the files it changed, all named "<run>.<something>". The copies
// are the safety copies of the crash-safe rewrite, kept instead of deleted, or links to
// the files' backups. Taking a run back writes each original back in place through the
// crash-safe rewrite, and only when its content is still exactly what the run wrote.
//
// Everything read from the directory is hostile: a record that does not parse is named
// and skipped, a copy is read only when it is the very file the record names (device,
// inode, length) and a file is written only when it is the recorded file (device and
// inode) holding the recorded content (size and SHA-256).
#include "core/UndoRecord.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <optional>
#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kUndoDirName = "undo"; // below the data directory
inline constexpr const char* kUndoLockName = "undo.lock";

enum class UndoFileState {
    WouldRestore, // holds what the run wrote, and its copy is whole
    Changed,      // changed since the replace (other content, or another file by its name)
    Missing,      // no regular file by its name
    NoCopy,       // the run did not finish with it, or its copy is gone or damaged
};

struct UndoFileCheck {
    UndoFileRecord record;
    UndoFileState state = UndoFileState::NoCopy;
    FileStatus status; // the file's status when it was checked (WouldRestore, Changed)
};

struct UndoTakeBack {
    int restored = 0;
    int files = 0;
};

// What the undo directory held when it was listed.
struct UndoSurvey {
    struct Run {
        uint64_t number = 0;
        std::string name;                // the record's base name ("r000012")
        std::vector<KnownFile> copies;   // its copies, once resolved
        // A run whose record ends in a summary that agrees with the listing is counted
        // from the summary: its copies are then only named here until resolveCopies.
        // Invariant: resolved, or copies is empty.
        bool resolved = true;
        std::vector<std::string> copyNames;
        int64_t bytes = 0;               // of the record and the copies
    };
    std::vector<Run> runs;               // oldest first
    // Copies whose record is gone: a drop that a crash cut short.
    std::vector<KnownFile> orphans;
    int64_t usedBytes = 0;               // the runs' bytes; orphans are not counted
    uint64_t highestNumber = 0;          // of every run-shaped name, orphans included
};

class UndoHistory {
public:
    UndoHistory(FileSystem& fs, FileOps& ops, std::string dataDir);

    // "<dataDir>undo/".
    const std::string& directory() const { return m_dir; }
    // Every run with a readable record, newest first. Each damaged record or line is
    // described through `problems`.
    std::vector<UndoRunRecord> runs(std::vector<std::string>* problems = nullptr);
    // The newest run that was not taken back.
    std::optional<UndoRunRecord> lastOpenRun(std::vector<std::string>* problems = nullptr);
    // What taking the run back would do with each of its files.
    std::vector<UndoFileCheck> check(const UndoRunRecord& run);
    // Writes back every file that is still as the run left it, one line per file
    // ("Restored NAME" or why not) and marks the run taken back.
    UndoTakeBack takeBack(const UndoRunRecord& run, std::vector<std::string>* lines);

    // The runs the history holds as one listing finds them, for a run that makes room.
    // The oldest run's copies are resolved.
    UndoSurvey survey();
    // Learns the identities of a surveyed run's copies (from its record, or by asking the
    // file system); call it before dropping the run. Its bytes are counted again.
    void resolveCopies(UndoSurvey::Run* run);
    // Deletes the run's record, so that it is no longer a run; its copies are then left to
    // the caller to remove. A crash in between leaves copies without a record, which the
    // next survey names as orphans. False when the record is still there.
    bool dropRecord(const UndoSurvey::Run& run);
    // Creates a new, empty record numbered above `floor` and above every run-shaped name
    // in the directory, so that no copy of an earlier run, still to be removed, shares its
    // name; its base name goes to *name. Null when the directory or the file cannot be made.
    std::unique_ptr<File> createRecord(std::string* name, uint64_t floor = 0);

private:
    UndoFileCheck checkFile(const UndoFileRecord& record);
    // The copy of `record`, open and checked, or null.
    std::unique_ptr<File> openCopy(const UndoFileRecord& record);
    bool restoreFile(const UndoFileCheck& checked);
    // The record files in the directory with their run numbers, unsorted; the highest
    // number of any run-shaped name (copies included) goes to *highest.
    std::vector<std::pair<uint64_t, std::string>> recordNames(uint64_t* highest = nullptr);
    // The names one run's base name has in the directory.
    struct SurveyedNames {
        bool hasRecord = false;
        std::vector<std::string> copies; // every other name, as listed
    };
    // A copy as the run's record describes it.
    struct KnownCopy {
        uint64_t device = 0, inode = 0;
        int64_t end = 0; // past the last byte a file line keeps in it
    };
    // The copies of `run->name` among `names`, with their identities, and the bytes of the
    // run (its record and its copies).
    // With `summaryWillDo`, a record whose summary agrees with the listing is counted from
    // it and its copies are left unresolved.
    void surveyRun(SurveyedNames names, UndoSurvey::Run* run, bool summaryWillDo);

    FileSystem& m_fs;
    FileOps& m_ops;
    std::string m_dataDir; // ends with "/"
    std::string m_dir;     // m_dataDir + "undo/"
};

// A file's state as the take-back dialog shows it.
std::string undoStateText(UndoFileState state);
// The last line of a take-back: "Restored M of N file(s)".
std::string undoSummaryText(const UndoTakeBack& result);
// One line of the list of kept runs: local date and time, search and replace texts, the
// number of files, and whether it was taken back.
std::string undoRunLine(const UndoRunRecord& run);

} // namespace tw
