#include "core/SafeRewrite.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace tw {

namespace {

std::function<void()>& pauseHook()
{
    static std::function<void()> hook;
    return hook;
}

void pauseForTests(FileSystem& fs)
{
    if (pauseHook()) {
        pauseHook()();
        return;
    }
    const char* flag = std::getenv("TW_TEST_PAUSE_COPYBACK");
    if (!flag || !*flag)
        return;
    if (!fs.openWrite(flag, true, true)) // created and closed at once
        return; // no flag for the waiting test to see: no pause either
    FileStatus st;
    for (int i = 0; i < 6000 && fs.status(flag, &st); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Writes the copy's content over `target` from its start and cuts it to that length.
bool restoreFrom(FileSystem& fs, const RecoveryEntry& entry, File& target)
{
    auto copy = fs.openRead(entry.safetyCopy);
    if (!copy || !target.seek(0))
        return false;
    const int64_t n = copySegment(*copy, entry.copyOffset, entry.copyLength, target);
    return n >= 0 && target.truncate(n) && target.sync();
}

// Creates the empty safety file of a batch in "<dataDir>safety/"; returns its path or "".
std::string createSafetyFile(FileOps& ops, const std::string& dataDir)
{
    if (dataDir.empty() || !ops.makeDirectory(dataDir + kSafetyDirName))
        return {};
    return ops.createUniqueFile(dataDir + kSafetyDirName + "/", "TWsafe.");
}

} // namespace

void setCopyBackPauseHook(std::function<void()> hook)
{
    pauseHook() = std::move(hook);
}

int64_t copyContent(File& from, File& to, const std::function<void()>& afterFirstChunk)
{
    return copySegment(from, 0, -1, to, afterFirstChunk);
}

int64_t copySegment(File& from, int64_t offset, int64_t length, File& to, const std::function<void()>& afterFirstChunk)
{
    if (!from.seek(offset))
        return -1;
    std::vector<char> buffer(kCopyBufferSize);
    int64_t total = 0;
    bool first = true;
    for (;;) {
        size_t want = buffer.size();
        if (length >= 0)
            want = static_cast<size_t>(std::min<int64_t>(length - total, static_cast<int64_t>(want)));
        if (want == 0)
            return total;
        const int64_t n = from.read(buffer.data(), want);
        if (n < 0)
            return -1;
        if (n == 0)
            return length >= 0 ? -1 : total;
        if (!to.write(buffer.data(), static_cast<size_t>(n)))
            return -1;
        total += n;
        if (first && afterFirstChunk)
            afterFirstChunk();
        first = false;
    }
}

namespace {

// The safety file a batch shares for the originals without a backup: their unchanged
// copies one after another.
struct SharedSafetyFile {
    std::string path;           // "" until made, or when it could not be made
    std::unique_ptr<File> file; // open while the copies are written
    FileStatus status;          // its identity, which the entries name
    int64_t size = 0;           // the copies written so far
};

// The item's backup is its unchanged copy. Its length lets a recovery tell a complete
// backup from a torn one, its identity the backup from any other file put under its name.
void takeBackupAsCopy(FileSystem& fs, RewriteItem& item)
{
    RecoveryEntry& entry = item.outcome.entry;
    entry.safetyCopy = item.existingCopy;
    FileStatus copy;
    if (fs.status(item.existingCopy, &copy, /*followLinks=*/false) && copy.isRegular) {
        entry.copyLength = copy.size;
        entry.copyDevice = copy.device;
        entry.copyInode = copy.inode;
        item.backupLastWrite = copy.lastWrite;
    }
}

// Appends the original's content to the shared safety file, made on first use. False when
// no copy was made: the item is then not rewritten (its result says Changed, when the
// original is no longer the scanned file, or NotStarted).
bool copyIntoSharedFile(FileSystem& fs, FileOps& ops, const std::string& dataDir, SharedSafetyFile& shared,
                        RewriteItem& item)
{
    if (!shared.file) {
        shared.path = createSafetyFile(ops, dataDir);
        shared.file = shared.path.empty() ? nullptr : fs.openWrite(shared.path, false, false);
        // Its identity goes into the entries, so that a recovery reads only this file.
        if (shared.file && !shared.file->status(&shared.status)) {
            shared.file.reset();
            fs.removeFile(shared.path);
        }
    }
    auto original = shared.file ? fs.openRead(item.originalPath) : nullptr;
    FileStatus now;
    if (original && item.checkExpected && (!original->status(&now) || !unchangedSince(item.expected, now))) {
        item.outcome.result = RewriteResult::Changed;
        return false;
    }
    const int64_t n = original && shared.file->seek(shared.size) ? copyContent(*original, *shared.file) : -1;
    if (n < 0)
        return false;
    RecoveryEntry& entry = item.outcome.entry;
    entry.safetyCopy = shared.path;
    entry.copyDevice = shared.status.device;
    entry.copyInode = shared.status.inode;
    entry.copyOffset = shared.size;
    entry.copyLength = n;
    shared.size += n;
    return true;
}

// Step 1: an unchanged copy of every original, its backup or a segment of the shared
// safety file. Returns the items that have one, in order.
std::vector<RewriteItem*> makeSafetyCopies(FileSystem& fs, FileOps& ops, const std::string& dataDir,
                                           std::vector<RewriteItem>& items, SharedSafetyFile* shared)
{
    std::vector<RewriteItem*> ready;
    for (RewriteItem& item : items) {
        RecoveryEntry& entry = item.outcome.entry;
        item.outcome.result = RewriteResult::NotStarted;
        entry.original = item.originalPath;
        entry.copyIsBackup = !item.existingCopy.empty();
        if (entry.copyIsBackup)
            takeBackupAsCopy(fs, item);
        else if (!copyIntoSharedFile(fs, ops, dataDir, shared[item.keepCopy ? 1 : 0], item))
            continue;
        ready.push_back(&item);
    }
    shared[0].file.reset();
    shared[1].file.reset();
    return ready;
}

// Every file system that holds a copy (`copies`) or an original of the items gets one
// barrier. A file whose device is known already (a copy's identity, an original checked
// on its descriptor at the rewrite) needs no status call to find it. False when one failed.
bool syncFileSystemsOf(FileSystem& fs, const std::vector<RewriteItem*>& ready, bool copies,
                       std::vector<uint64_t>* synced = nullptr)
{
    std::vector<uint64_t> done;
    bool ok = true;
    for (RewriteItem* item : ready) {
        const RecoveryEntry& entry = item->outcome.entry;
        const std::string& path = copies ? entry.safetyCopy : item->originalPath;
        FileStatus st;
        if (copies && entry.copyInode != 0)
            st.device = entry.copyDevice;
        else if (!copies && item->openedDevice)
            st.device = *item->openedDevice;
        else if (!fs.status(path, &st)) {
            ok = false;
            continue;
        }
        if (std::find(done.begin(), done.end(), st.device) != done.end())
            continue;
        done.push_back(st.device);
        const bool flushed = syncFileSystemOf(path);
        if (flushed && synced)
            synced->push_back(st.device);
        ok = flushed && ok;
    }
    return ok;
}

// Makes `file` durable unless a barrier of one of the file systems `synced` covered it.
bool makeDurable(File* file, const std::vector<uint64_t>& synced)
{
    FileStatus st;
    if (!file)
        return true;
    if (file->status(&st) && std::find(synced.begin(), synced.end(), st.device) != synced.end())
        return true;
    return file->sync();
}

// Gives the rewritten file back the last-write time it had. False when that failed.
bool putLastWriteBack(const RewriteItem& item, File& target)
{
    PreciseTimes current;
    const bool read = target.readTimes(&current);
    current.lastWriteSec = item.keepLastWrite->lastWriteSec;
    current.lastWriteNsec = item.keepLastWrite->lastWriteNsec;
    return target.setTimes(current) && read;
}

// Step 3 for one item: the original is overwritten from its start and cut, under its
// lock; a failure puts the copy back. The entries the list may drop (originals left
// untouched or put back) go to `finished`.
void rewriteOne(FileSystem& fs, RewriteItem& item, std::vector<RecoveryEntry>& finished)
{
    RecoveryEntry& entry = item.outcome.entry;
    // One handle, opened for writing, holds the lock for the whole rewrite; the original
    // must still be the scanned file when the lock is ours.
    FileStatus now;
    int error = 0;
    std::unique_ptr<File> guard;
    std::unique_ptr<File> target = fs.openForRewrite(item.originalPath, kOriginalLockWaitMs, &now, &error);
    if (!target && error != EWOULDBLOCK && error != EINVAL) {
        // Not to be opened for writing as it is (a read-only original, say): a handle for
        // reading takes the lock, and the one for writing is opened once the mode allows.
        guard = fs.openRead(item.originalPath);
        if (!guard || !guard->lockExclusive(kOriginalLockWaitMs) || !guard->status(&now))
            guard.reset();
    }
    if ((!target && !guard) || (item.checkExpected && !unchangedSince(item.expected, now))) {
        item.outcome.result = RewriteResult::Changed;
        finished.push_back(entry); // untouched
        return;
    }
    File& locked = target ? *target : *guard;
    const bool clear = item.clearReadOnly && isReadOnlyMode(now.mode);
    if (clear && !locked.setMode(now.mode | kOwnerWrite)) {
        finished.push_back(entry); // untouched: NotStarted
        return;
    }
    auto putModeBack = [&] { return !clear || locked.setMode(now.mode); };
    if (!target) {
        // Opened again for writing; it must lead to the very file that is locked and checked.
        target = fs.openWrite(item.originalPath, false, false);
        FileStatus opened;
        if (!target || !target->status(&opened) || !sameFile(opened, now)) {
            item.outcome.result = target ? RewriteResult::Changed : RewriteResult::NotStarted;
            item.statusRestored = putModeBack();
            finished.push_back(entry); // untouched
            return;
        }
    }
    item.openedDevice = now.device;
    const int64_t written =
        copySegment(*item.source, item.sourceOffset, item.sourceLength, *target, [&] { pauseForTests(fs); });
    if (written >= 0 && target->truncate(written)) {
        item.outcome.result = RewriteResult::Done;
        const bool modeBack = putModeBack();
        item.statusRestored = item.keepLastWrite ? putLastWriteBack(item, *target) && modeBack : modeBack;
        return;
    }
    bool restored = restoreFrom(fs, entry, *target);
    // The lock (and the handle the mode is put back through) stays held meanwhile.
    if (guard)
        target.reset();
    else
        guard = std::move(target);
    if (!restored) {
        // The handle may be what failed; try once more through a fresh one.
        auto again = fs.openWrite(item.originalPath, false, false);
        FileStatus st;
        if (again && again->status(&st) && sameFile(st, now))
            restored = restoreFrom(fs, entry, *again);
    }
    item.statusRestored = putModeBack();
    item.outcome.result = restored ? RewriteResult::FailedRestored : RewriteResult::FailedUnrestored;
    if (restored)
        finished.push_back(entry);
}

} // namespace

void rewriteBatchInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<RewriteItem>& items,
                         RewriteKeeper* keeper, File* durableFirst, bool* durableFirstOk)
{
    bool firstOk = true;
    struct Report {
        bool& ok;
        bool* out;
        ~Report()
        {
            if (out)
                *out = ok;
        }
    } report{firstOk, durableFirstOk};
    // 1. An unchanged copy of every original: its backup, or a segment of a safety file
    // shared by the batch ([1]: the copies the keeper keeps, [0]: the others).
    SharedSafetyFile shared[2];
    if (!keeper)
        for (RewriteItem& item : items)
            item.keepCopy = false;
    const std::vector<RewriteItem*> ready = makeSafetyCopies(fs, ops, dataDir, items, shared);
    // A shared safety file goes once no entry needs it; backups always stay. The kept
    // one waits for the keeper.
    size_t sharedUsers[2] = {0, 0};
    for (RewriteItem* item : ready)
        if (!item->outcome.entry.copyIsBackup)
            ++sharedUsers[item->keepCopy ? 1 : 0];
    auto dropSafetyCopy = [&](const RewriteItem& item, bool all) {
        const int which = item.keepCopy ? 1 : 0;
        if (!item.outcome.entry.copyIsBackup && --sharedUsers[which] == 0 && (all || which == 0))
            fs.removeFile(shared[which].path);
    };
    if (ready.empty()) {
        for (const SharedSafetyFile& file : shared)
            if (!file.path.empty())
                fs.removeFile(file.path);
        firstOk = makeDurable(durableFirst, {});
        return;
    }

    // 2. The copies reach the disk, then the list names them all.
    std::vector<RecoveryEntry> entries;
    for (RewriteItem* item : ready)
        entries.push_back(item->outcome.entry);
    RecoveryList list(fs, ops, dataDir);
    std::vector<uint64_t> synced;
    const bool copiesDurable = syncFileSystemsOf(fs, ready, true, &synced);
    firstOk = makeDurable(durableFirst, synced);
    if (!copiesDurable || !list.add(entries)) {
        for (RewriteItem* item : ready)
            dropSafetyCopy(*item, true);
        return;
    }
    if (keeper)
        keeper->beforeRewrite(ready, shared[1].path, shared[1].status);

    // 3. Each original is overwritten from its start and cut; a failure puts the copy back.
    std::vector<RecoveryEntry> finished;
    std::vector<const RewriteItem*> finishedItems;
    for (RewriteItem* item : ready) {
        const size_t before = finished.size();
        rewriteOne(fs, *item, finished);
        if (finished.size() > before)
            finishedItems.push_back(item);
    }

    // 4. The new contents reach the disk before the copies go away.
    const bool durable = syncFileSystemsOf(fs, ready, false);
    for (RewriteItem* item : ready)
        if (item->outcome.result == RewriteResult::Done && durable) {
            finished.push_back(item->outcome.entry);
            finishedItems.push_back(item);
        }
    if (!list.remove(finished))
        return;
    for (const RewriteItem* item : finishedItems)
        dropSafetyCopy(*item, false);
    // The kept copies: the keeper may take their file once no entry names it any more.
    const std::string kept = sharedUsers[1] == 0 ? shared[1].path : std::string();
    const bool taken = keeper && keeper->afterRewrite(ready, kept);
    if (!kept.empty() && !taken)
        fs.removeFile(kept);
}

RewriteOutcome rewriteInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir,
                              const std::string& originalPath, File& source,
                              const std::string& existingCopy)
{
    std::vector<RewriteItem> one(1);
    one[0].originalPath = originalPath;
    one[0].source = &source;
    one[0].existingCopy = existingCopy;
    rewriteBatchInPlace(fs, ops, dataDir, one);
    return one[0].outcome;
}

} // namespace tw
