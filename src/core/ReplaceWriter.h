#pragma once
// The replace writer of a run: the temporary output files, the commit of a replaced file
// (per-file question, backup, read-only files, size check, in-place rewrite, attributes
// and time stamp, undo script) and the run's replace counters.
//
// Sequence for one replace run:
//   ReplaceWriter w(fs, ops, host, sink, confirmation);
//   w.startRun(options, quiet, dataDirectory());
//   if (!w.createTempFiles(pairCount)) -> end the run (the error line was added)
//   per file with replacements, after its pairs, with the input file closed:
//       w.CommitFile(input)   // may cancel: check confirmation.cancelled()
//   w.releaseTempFiles(); w.endRun();
//   summary: w.replacements(), w.filesReplaced()
#include "core/ConfirmationState.h"
#include "core/ProgramOptions.h"
#include "core/RunHost.h"
#include "core/RecoveryList.h"
#include "core/UndoRecorder.h"
#include "core/UndoScript.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "results/ResultStream.h"

#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tw {

// Report texts of the writer.
inline constexpr const char* kErrorOpeningTemp = "Error opening temp file";
inline constexpr const char* kErrorWritingTemp = "Error writing to temp file";
inline constexpr const char* kErrorWritingReplace = "Error writing replace string to temp file";
inline constexpr const char* kErrorBackupDir = "Error creating/writing file to backup directory";
inline constexpr const char* kErrorWriting = "Error writing (another app may own it) file";
inline constexpr const char* kNotKeptForUndo = "Not kept for undo: ";
inline constexpr const char* kErrorPendingRecovery =
    "Not replaced: an interrupted rewrite of this file waits for --recover or --discard-recovery:";

// One file ready to be committed.
struct CommitInput {
    std::string path;       // full path of the original
    std::string startPath;  // the start path the file was found under, ending with "/"
    std::string backupDir;  // the file's backup directory ending with "/", or empty for none
    FileStatus status;      // the original's status taken on its descriptor when it was opened
                            // for its first pair; the rewrite happens only if it still holds
    File* output = nullptr; // the temporary output holding the replaced content
    // When set, `output` is this view (output == stagedOutput.get()) of content a worker
    // staged: it stays as it is, so the original is rewritten straight from it rather than
    // from a copy of it.
    std::shared_ptr<File> stagedOutput;
    long replacements = 0;  // replacements made in the file (all pairs)
    int64_t sizeChange = 0; // accumulated (search length - replace length) of the file
    bool reformatted = false; // a reformat wrote the output; no size check
    // The SHA-256 (hex) of `output`'s content as its writer took it, and the length it
    // covers; empty when not taken. Used for the undo record only when `output` still has
    // that length; otherwise the content is hashed while it is staged.
    std::string outputHash;
    int64_t outputHashLength = -1;
};

enum class CommitResult {
    Replaced,  // the original (or, with "Write to Backup Dir", its copy) holds the new content
    Declined,  // a question was answered No, or cancelled (then confirmation.cancelled())
    Failed,    // an error was reported; the original is unchanged
};

// A failure for one file: the results line "<message> <name without directory>" and the
// same text as a message (kept off screen in quiet mode).
void reportFileError(ResultStream& sink, RunHost& host, bool quiet, const std::string& message,
                     const std::string& path);

// The backup name of `path`: the part after `startPath` appended to `backupDir`. A path
// outside the start path keeps its whole path below the backup directory.
std::string backupName(const std::string& path, const std::string& startPath, const std::string& backupDir);
// The part of the backup name below the backup directory.
std::string backupRelativeName(const std::string& path, const std::string& startPath);

class ReplaceWriter {
public:
    ReplaceWriter(FileSystem& fs, FileOps& ops, RunHost& host, ResultStream& sink, ConfirmationState& confirmation);
    ~ReplaceWriter();

    // Resets the counters; the undo script is opened by the first commit with a backup.
    void startRun(const ProgramOptions& options, bool quiet, std::string dataDir);
    // After startRun: the run keeps the original of every file it changes in the undo
    // history of the data directory, within the options' "Undo Space" (0: none). Nothing
    // is kept with "Write to Backup Dir" (no original changes) or without a data directory.
    void keepUndoHistory(const std::string& search, const std::string& replace, FileTime started);
    // The run keeps an undo history: its records want the SHA-256 of each new content.
    bool keepsUndoHistory() const { return m_history != nullptr; }
    // Two temporary files "TW..." (the second only for more than one pair). On failure the
    // results line "Error opening temp file" is added and false returned.
    [[nodiscard]] bool createTempFiles(size_t pairCount);
    // Temporary file 0 or 1 (null when not created).
    File* tempFile(int index) const;
    // Decides, makes the backup and stages the rewrite of the original; the rewrite itself
    // happens in batches (see setBatchLimit) so that flushes to disk are shared.
    // Both report every failure themselves (results line, message, error count); the
    // result only tells a caller that wants to know what became of the file(s).
    CommitResult CommitFile(const CommitInput& input);
    // Rewrites every staged original now, and waits for a batch still being rewritten.
    // The counters and the reports of the batches follow.
    CommitResult flushRewrites();
    // Originals rewritten together; 1 (the default) rewrites each at its commit. A full
    // batch of more than one file is rewritten on a thread of its own, when the file
    // system allows it, while the next one is staged; its reports follow when the next
    // batch starts, or at flushRewrites.
    void setBatchLimit(size_t files) { m_batchLimit = files == 0 ? 1 : files; }
    // Closes and deletes the temporary files.
    void releaseTempFiles();
    // Closes the undo script.
    void endRun();

    long filesReplaced() const { return m_filesReplaced; }
    // File error lines this writer produced in the run (backup, write, commit).
    long errorLines() const { return m_errorLines; }
    long replacements() const { return m_replacements; }
    std::string undoScriptPath() const { return m_undo.isOpen() ? m_undo.path() : std::string(); }

private:
    // Writes a complete backup (or "Write to Backup Dir" copy) below the backup directory;
    // returns the message of the failure, or null.
    const char* placeBackup(const CommitInput& in, File& content, uint32_t mode, const PreciseTimes* times);
    void addUndoLine(const std::string& source, const std::string& target);
    // Reports the first failure of the undo script in this run.
    void undoFailed();
    void report(const std::string& text, const std::string& path, bool immediate);
    // An entry of the recovery list names `path` as its original (by name or identity).
    bool pendingRecoveryFor(const std::string& path, const FileStatus& status) const;
    // An entry of the recovery list keeps its copy under `name`.
    bool isRecoveryCopy(const std::string& name) const;
    [[nodiscard]] CommitResult fail(const std::string& message, const std::string& path);
    struct Batch;
    // Hands the staged rewrites over as a batch, after the one before it has been awaited:
    // rewritten on a thread of its own when `background` and the file system allows it,
    // otherwise here and now. Its undo lines go to the script first. Returns what
    // awaiting the batch before it gave.
    CommitResult dispatchBatch(bool background);
    // Waits for the batch handed over last, if any, and reports it: the counters, the
    // failures, the originals not kept for undo. Failed when a file of it failed.
    CommitResult awaitBatch();
    // The batch's rewrites, in commit order.
    static std::vector<RewriteItem> batchItems(Batch& batch, bool keepFileTime);
    // Counts the batch's rewritten files and reports those that failed; Failed when any did.
    CommitResult reportRewrites(const Batch& batch, bool immediate);
    // The replaced output does not have the size the replacements make of the original:
    // reports it and returns true (never for a reformatted file).
    bool sizeMismatch(const CommitInput& in, int64_t outputSize);
    // Keeps the replaced output (`outputSize` bytes) in the staging file and the rewrite in
    // the batch; the batch is rewritten once it is full.
    CommitResult stageRewrite(const CommitInput& in, int64_t outputSize, const std::string& backup,
                              const PreciseTimes& times);

    // A committed file whose original waits for its batch.
    struct PendingRewrite {
        std::string path;
        std::shared_ptr<File> staged;  // the replaced text as a worker staged it, or null:
        int64_t stageOffset = 0;       // then it is these bytes of the batch's staging file
        int64_t stageLength = 0;
        std::string backup;            // its backup, empty without a backup directory
        PreciseTimes times;            // the original's times
        FileStatus status;             // the original's status when it was scanned
        long replacements = 0;
        bool keepForUndo = false;      // the undo history made room for its original
        std::string contentHash;       // SHA-256 of the replaced text when kept
    };
    // Appends the replaced output to the staging file; with `hash`, its SHA-256 (hex) too.
    int64_t stageContent(File& output, std::string* hash);
    // Reads `from` from its start, writing it to `to` when given; with `hash`, its SHA-256
    // (hex) too. The bytes read, or -1.
    static int64_t passContent(File& from, File* to, std::string* hash);
    void reportNotKept(const std::string& path, bool immediate);
    static constexpr int64_t kBatchBytes = int64_t(256) << 20;

    FileSystem& m_fs;
    FileOps& m_ops;
    RunHost& m_host;
    ResultStream& m_sink;
    ConfirmationState& m_confirmation;
    ProgramOptions m_options;
    bool m_quiet = false;
    std::string m_dataDir;           // ends with "/", or empty when there is none
    std::unique_ptr<File> m_temp[2]; // the run's temporary outputs, deleted by releaseTempFiles
    std::vector<PendingRewrite> m_pending; // committed, original not yet rewritten
    std::unique_ptr<File> m_staging; // the replaced texts of m_pending, one after another
    int64_t m_pendingBytes = 0;      // bytes of the replaced texts of m_pending
    int64_t m_stagingBytes = 0;      // bytes used in m_staging
    size_t m_batchLimit = 1;
    // The batch handed over last and not yet reported; while m_batchDone is valid, its
    // rewrite runs on another thread, which alone touches the batch then.
    std::unique_ptr<Batch> m_batch;
    std::future<void> m_batchDone;
    UndoScript m_undo;
    std::unique_ptr<UndoRecorder> m_history; // null: the run keeps no undo history
    bool m_undoTried = false;        // the undo script was opened (or failed to) in this run
    bool m_undoFailed = false;       // its failure was reported once
    std::set<std::string> m_backupsMade; // backup names written in this run
    std::unique_ptr<DirectoryCursor> m_placeCursor; // the directory of the last backup placed
    // Entries of the recovery list when the run started, with the statuses of their files
    // (isRegular false when missing): those originals and copies are never written.
    struct PendingEntry {
        RecoveryEntry entry;
        FileStatus original, copy;
    };
    std::vector<PendingEntry> m_recoveries;
    long m_errorLines = 0;
    long m_filesReplaced = 0;
    long m_replacements = 0;
};

} // namespace tw
