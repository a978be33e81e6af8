#pragma once
// Keeps the unchanged copies of a replace run's files in the undo history (UndoHistory.h):
// the writer asks for room for each file before it stages it (the oldest runs go to make
// room within the limit), and the batch rewrite tells the recorder before and after it
// writes the originals (RewriteKeeper). Before: a FILE line per kept file, and a backup
// linked (or copied) into the history. After: the batch's kept safety file renamed into
// the history and a DONE line per file rewritten. The record is made on the first batch,
// so a run that writes nothing keeps nothing.
#include "core/BackgroundRemover.h"
#include "core/RewriteKeeper.h"
#include "core/UndoHistory.h"

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tw {

class UndoRecorder : public RewriteKeeper {
public:
    // `limitBytes` > 0: the whole history stays within it.
    UndoRecorder(FileSystem& fs, FileOps& ops, std::string dataDir, int64_t limitBytes, std::string search,
                 std::string replace, FileTime started);
    ~UndoRecorder() override;

    // Room for a copy of `size` bytes; false: the file is not kept. The oldest runs are
    // dropped to make room: their records at once, their copies when the run ends.
    bool reserve(int64_t size);
    // Hands the copies of the dropped runs (and copies left without a run) over for
    // removal; the run does not wait while their space is freed.
    void finish();
    void beforeRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile,
                       const FileStatus& keptStatus) override;
    [[nodiscard]] bool afterRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile) override;
    // The originals of the last batch that were to be kept and could not be.
    // The writer takes them where it reports a batch, whichever thread rewrote it.
    std::vector<std::string> takeNotKept()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failureTold = m_recordFailed;
        return std::move(m_notKept);
    }

private:
    void awaitSurvey();
    bool ensureRecord();
    bool append(const std::string& text);
    // The backup of `item` as a copy in the history: linked, or copied across file systems.
    bool keepBackup(const RewriteItem& item, UndoFileRecord* record);
    // A copy of `bytes` made in the history, for the run's summary.
    void countCopy(int64_t bytes);

    // The writer stages files (reserve) while a batch of its is rewritten on another
    // thread (the RewriteKeeper calls): each public call holds this for its whole length.
    std::mutex m_mutex;
    FileSystem& m_fs;
    FileOps& m_ops;
    UndoHistory m_history;
    BackgroundRemover m_remover;     // hands its files over at finish() at the latest
    int64_t m_limit;
    std::string m_search, m_replace;
    FileTime m_started;
    std::string m_runName;           // empty until the record is made
    std::unique_ptr<File> m_record;
    int64_t m_recordSize = 0;        // bytes written to the record
    bool m_recordFailed = false;
    // m_recordFailed as the writer last heard of it (takeNotKept). reserve goes by this, so
    // that which files are kept never depends on how far a batch on another thread has got.
    bool m_failureTold = false;
    // The survey of the history, started with the run; m_used, m_oldRuns and m_highestSeen
    // hold its result once it was taken (awaitSurvey).
    std::future<UndoSurvey> m_pendingSurvey;
    int64_t m_used = 0;              // bytes in the history, as far as this run knows
    std::vector<UndoSurvey::Run> m_oldRuns; // the runs before this one, oldest first
    uint64_t m_highestSeen = 0;      // the highest run number the survey saw: never reused
    size_t m_nextDrop = 0;           // m_oldRuns[0, m_nextDrop) were dropped or passed over
    int64_t m_runBytes = 0;          // bytes this run reserved; invariant: <= m_limit
    int m_nextFile = 0;
    int m_nextCopy = 0;
    std::string m_keptName;          // the batch's kept safety file's name in the history
    int64_t m_keptEnd = 0;           // past the last byte the batch's file lines keep in it
    int64_t m_copiesMade = 0;        // copies this run made in the history, and their bytes
    int64_t m_copyBytes = 0;
    bool m_summaryWritten = false;
    // A backup to link into the history while the batch's originals are rewritten: its
    // record's copy fields are known from the backup's identity, and the new name must
    // lead to that very file.
    struct LinkJob {
        std::string from, to;
        UndoFileRecord expected;
    };
    // Makes the links; true for each that leads to the expected file.
    std::vector<bool> makeLinks(const std::vector<LinkJob>& jobs);
    bool linkLater(const RewriteItem& item, UndoFileRecord* record, std::vector<LinkJob>* jobs);
    // The batch's items that have a FILE line, with their index and their link job (-1: none).
    struct BatchItem {
        const RewriteItem* item;
        int index;
        int linkJob;
    };
    std::vector<BatchItem> m_batch;
    std::future<std::vector<bool>> m_links; // the batch's links, made on a thread of their own
    uint64_t m_undoDevice = 0;              // the history's file system, once the record is made
    std::vector<std::string> m_notKept;
};

} // namespace tw
