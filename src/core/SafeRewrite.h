#pragma once
// Rewriting an original file in place without ever losing its content.
//
// The original keeps its inode, owner, permissions and hard links: it is opened for
// writing and overwritten from the start, then cut to the new length. Before that, an
// unchanged copy of it exists (the file's backup when one was just made, otherwise a
// safety copy in "<dataDir>safety/") and the pair (original, copy) is recorded in the
// recovery list. When any step of the rewrite fails, the original is written back from
// the copy. The entry and a safety copy are removed once the original is whole again.
#include "core/RecoveryList.h"
#include "core/RewriteKeeper.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tw {

inline constexpr size_t kCopyBufferSize = 102400;

enum class RewriteResult {
    Done,             // the original holds the new content
    NotStarted,       // nothing was written to the original (no copy, no list entry, no open)
    Changed,          // the original is no longer the file that was scanned (another file or
                      // link under its name, or changed meanwhile); it was left untouched
    FailedRestored,   // the rewrite failed and the original was written back unchanged
    FailedUnrestored, // the rewrite failed and so did the restore: the entry and copy remain
};

struct RewriteOutcome {
    RewriteResult result = RewriteResult::NotStarted;
    RecoveryEntry entry; // the copy used; meaningful for FailedUnrestored
};

// One original to rewrite in a batch.
struct RewriteItem {
    std::string originalPath;
    File* source = nullptr;   // the new content: bytes [sourceOffset, +sourceLength) of it
    int64_t sourceOffset = 0;
    int64_t sourceLength = -1; // -1: to the end of the file
    std::string existingCopy; // a complete copy of the original (its backup), or empty
    // When `checkExpected` is set, the original must still be exactly `expected` (same
    // device, inode, size, modification and change times), verified on the descriptor
    // right before the rewrite while the file's lock is held.
    bool checkExpected = false;
    FileStatus expected;
    // Owner write is added for the rewrite of a read-only original and the mode put back.
    bool clearReadOnly = false;
    // When set, the original's last-write time is put back after the rewrite.
    const PreciseTimes* keepLastWrite = nullptr;
    // The undo history keeps this original's unchanged copy after the rewrite (see
    // RewriteKeeper); `contentHash` is the SHA-256 (hex) of the new content.
    bool keepCopy = false;
    std::string contentHash;
    RewriteOutcome outcome;   // filled in by rewriteBatchInPlace
    // The backup's last-write time when it was taken as the unchanged copy; 0: unknown.
    FileTime backupLastWrite = 0;
    // The device of the original, set once it was opened, locked and checked for the rewrite.
    std::optional<uint64_t> openedDevice;
    bool statusRestored = true; // the mode (and, when Done, the times) were put back as asked
};

// How long a rewrite waits for another run that holds the lock of the same original.
inline constexpr int kOriginalLockWaitMs = 30000;

// Rewrites many originals with a fixed number of flushes to disk: every unchanged copy is
// made, then one barrier per file system makes the copies durable, all entries go into
// the recovery list at once, the originals are overwritten, one barrier per file system
// makes them durable, and only then are the entries and safety copies removed. A failure
// on one original restores that original from its copy at once. Each original is opened
// without following links, locked (flock) and checked on its descriptor before it is
// written, and stays locked until its rewrite is complete.
// With a `keeper`, the copies of the items with `keepCopy` go to a safety file of their own
// that the keeper hears of before and after the rewrite and may take over.
// `durableFirst`, when given, is a file whose content must be on disk before any original
// is written (the undo script): the barrier of the copies covers it when it lives on the
// file system of a copy, otherwise it is synced on its own. Whether that worked goes to
// `durableFirstOk`; the batch goes on either way.
void rewriteBatchInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<RewriteItem>& items,
                         RewriteKeeper* keeper = nullptr, File* durableFirst = nullptr,
                         bool* durableFirstOk = nullptr);

// Replaces the content of `originalPath` by the whole content of `source` (read from its
// start). `existingCopy` names a complete, flushed copy of the original (its backup) or is
// empty, in which case a safety copy is made in the data directory first.
[[nodiscard]] RewriteOutcome rewriteInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir,
                              const std::string& originalPath, File& source,
                              const std::string& existingCopy);

// Copies `length` bytes of `from` starting at `offset` (-1: to its end) to `to` at its
// current position. Returns the bytes copied or -1 (also when `from` is shorter).
[[nodiscard]] int64_t copySegment(File& from, int64_t offset, int64_t length, File& to,
                    const std::function<void()>& afterFirstChunk = {});

// Copies the whole content of `from` (from its start) to `to` at its current position.
// Returns the bytes copied or -1. `afterFirstChunk`, when set, runs once after the first
// chunk was written.
[[nodiscard]] int64_t copyContent(File& from, File& to, const std::function<void()>& afterFirstChunk = {});

// Test hook: runs in the middle of every copy-back, after its first chunk was written to
// the original. Without a hook set, the environment variable TW_TEST_PAUSE_COPYBACK, when
// set, names a file that is created there; the copy-back then waits until that file is
// removed (at most 60 seconds), so a test can kill the process at that moment.
void setCopyBackPauseHook(std::function<void()> hook);

} // namespace tw
