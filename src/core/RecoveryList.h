#pragma once
// The recovery list: which originals are being rewritten right now and where an unchanged
// copy of each is kept. An entry is written (and flushed to disk) before an original is
// overwritten and removed once the rewrite completed or the original was restored, so an
// entry found at start-up means the program ended in the middle of a rewrite.
//
// The list is "<dataDir>recovery.list", one entry per line: a kind letter ("S" safety copy,
// "B" backup), the original path, the copy's path, the copy's offset and length, and the
// copy's device and inode, separated by tabs. Bytes below 0x20 and "%" are written as %XX.
// Updates take the lock "<dataDir>recovery.lock" and replace the list atomically.
//
// The list is read as hostile: a recovery reads a copy only when it is the very file that
// was recorded (device, inode and length), and reads or deletes a safety copy only inside
// "<dataDir>safety/". Backups are never deleted.
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <functional>
#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kRecoveryListName = "recovery.list";
inline constexpr const char* kSafetyDirName = "safety"; // below the data directory
inline constexpr const char* kRecoveryLockName = "recovery.lock";
// How long an update of the list waits for another run that holds its lock.
inline constexpr int kRecoveryLockWaitMs = 10000;

struct RecoveryEntry {
    std::string original;   // the file that was being rewritten
    std::string safetyCopy; // an unchanged copy of its content before the rewrite
    bool copyIsBackup = false; // the copy is the file's backup (kept), not a safety copy
    // The copy is bytes [copyOffset, copyOffset + copyLength) of `safetyCopy` (safety
    // copies of a batch share one file); copyLength -1: the whole file.
    int64_t copyOffset = 0;
    int64_t copyLength = -1;
    // Set by PendingRecoveries: the copy is still on disk.
    bool copyExists = false;
    // The copy's identity when the entry was written; 0 and 0 when it was not recorded, and
    // then the copy is never read.
    uint64_t copyDevice = 0;
    uint64_t copyInode = 0;

    bool operator==(const RecoveryEntry& o) const
    {
        // The length is left out: a report may show a whole-file segment as the file.
        return original == o.original && safetyCopy == o.safetyCopy && copyIsBackup == o.copyIsBackup &&
               copyOffset == o.copyOffset;
    }
};

class RecoveryList {
public:
    RecoveryList(FileSystem& fs, FileOps& ops, std::string dataDir)
        : m_fs(fs), m_ops(ops), m_dataDir(std::move(dataDir)) {}

    // Both return false when the list could not be updated durably.
    [[nodiscard]] bool add(const RecoveryEntry& entry) { return add(std::vector<RecoveryEntry>{entry}); }
    [[nodiscard]] bool remove(const RecoveryEntry& entry) { return remove(std::vector<RecoveryEntry>{entry}); }
    // Many entries with one durable update of the list.
    [[nodiscard]] bool add(const std::vector<RecoveryEntry>& entries);
    [[nodiscard]] bool remove(const std::vector<RecoveryEntry>& entries);
    std::vector<RecoveryEntry> entries();

private:
    // Reads the list under its lock, lets `change` edit it, and writes it back durably when
    // `change` returns true.
    [[nodiscard]] bool update(const std::function<bool(std::vector<RecoveryEntry>&)>& change);
    [[nodiscard]] bool read(std::vector<RecoveryEntry>* out);
    [[nodiscard]] bool write(const std::vector<RecoveryEntry>& list);

    FileSystem& m_fs;
    FileOps& m_ops;
    std::string m_dataDir; // ends with "/"
};

// Entries left over from a run that ended in the middle of a rewrite. Front ends call this
// at start-up and show FormatRecoveryReport for each entry. A copy that is part of a
// shared safety file is reported with its byte range.
std::vector<RecoveryEntry> pendingRecoveries(const std::string& dataDir);
std::vector<RecoveryEntry> pendingRecoveries(FileSystem& fs, FileOps& ops, const std::string& dataDir);
// The start-up notice for one entry: which file may be incomplete and where its copy is.
std::string formatRecoveryReport(const RecoveryEntry& entry);
// Says, through `say`, which files of the data directory's list a crash left in the middle
// of a rewrite (each with where its copy is), then `advice` when there was any; returns
// whether there was.
bool reportPendingRecoveries(const std::string& dataDir, const std::string& advice,
                             const std::function<void(const std::string&)>& say);
// Removes an entry once the user has dealt with it (the copy itself is left alone).
[[nodiscard]] bool dismissRecovery(const std::string& dataDir, const RecoveryEntry& entry);

// Replace runs keep their safety copies and the recovery list in the data directory, so a
// run that cannot write there replaces nothing and says why. The message for it: `dir` is
// where the data directory is or would be (empty: no place is known), `path` what could not
// be written, `error` the errno.
std::string dataDirectoryFailure(const std::string& dir, const std::string& path, int error);
// Creates a file in the data directory and in its safety directory and removes it again,
// so that a read-only directory or file system is found before any file is touched. The
// message of dataDirectoryFailure, or an empty text when both can be written.
std::string dataDirectoryUnwritable(FileSystem& fs, FileOps& ops, const std::string& dataDir);

// Puts every original with a pending entry back from its copy, after checking that the copy
// is complete, and forgets the entries of the restored files (their safety copies are
// deleted, backups stay). One report line per entry. True when every file was restored.
[[nodiscard]] bool recoverPending(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<std::string>* lines);
// Forgets every pending entry and deletes the safety copies (backups stay). One report line
// per entry. False when the list could not be updated.
[[nodiscard]] bool discardPending(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<std::string>* lines);

} // namespace tw
