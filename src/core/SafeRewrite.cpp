#include "core/SafeRewrite.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace tw {

namespace {

std::function<void()>& PauseHook()
{
    static std::function<void()> hook;
    return hook;
}

void pauseForTests(FileSystem& fs)
{
    if (PauseHook()) {
        PauseHook()();
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
    PauseHook() = std::move(hook);
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

void rewriteBatchInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::vector<RewriteItem>& items)
{
    // 1. An unchanged copy of every original: its backup, or a segment of one safety
    // file shared by the batch.
    std::vector<RewriteItem*> ready;
    std::string sharedPath;
    std::unique_ptr<File> shared;
    FileStatus sharedStatus;
    int64_t sharedSize = 0;
    for (RewriteItem& item : items) {
        RecoveryEntry& entry = item.outcome.entry;
        item.outcome.result = RewriteResult::NotStarted;
        entry.original = item.originalPath;
        entry.copyIsBackup = !item.existingCopy.empty();
        if (entry.copyIsBackup) {
            entry.safetyCopy = item.existingCopy;
            // The backup's length lets a recovery tell a complete backup from a torn one,
            // its identity the backup from any other file put under its name.
            FileStatus copy;
            if (fs.status(item.existingCopy, &copy, /*followLinks=*/false) && copy.isRegular) {
                entry.copyLength = copy.size;
                entry.copyDevice = copy.device;
                entry.copyInode = copy.inode;
            }
            ready.push_back(&item);
            continue;
        }
        if (!shared) {
            sharedPath = createSafetyFile(ops, dataDir);
            shared = sharedPath.empty() ? nullptr : fs.openWrite(sharedPath, false, false);
            // Its identity goes into the entries, so that a recovery reads only this file.
            if (shared && !shared->status(&sharedStatus)) {
                shared.reset();
                fs.removeFile(sharedPath);
            }
        }
        auto original = shared ? fs.openRead(item.originalPath) : nullptr;
        FileStatus now;
        if (original && item.checkExpected && (!original->status(&now) || !unchangedSince(item.expected, now))) {
            item.outcome.result = RewriteResult::Changed;
            continue;
        }
        const int64_t n = original && shared->seek(sharedSize) ? copyContent(*original, *shared) : -1;
        if (n < 0)
            continue;
        entry.safetyCopy = sharedPath;
        entry.copyDevice = sharedStatus.device;
        entry.copyInode = sharedStatus.inode;
        entry.copyOffset = sharedSize;
        entry.copyLength = n;
        sharedSize += n;
        ready.push_back(&item);
    }
    shared.reset();
    // The shared safety file goes once no entry needs it; backups always stay.
    size_t sharedUsers = 0;
    for (RewriteItem* item : ready)
        sharedUsers += item->outcome.entry.copyIsBackup ? 0 : 1;
    auto dropSafetyCopy = [&](const RecoveryEntry& entry) {
        if (!entry.copyIsBackup && --sharedUsers == 0)
            fs.removeFile(sharedPath);
    };
    if (ready.empty()) {
        if (!sharedPath.empty())
            fs.removeFile(sharedPath);
        return;
    }
    // Every file system that holds a copy or an original gets one barrier.
    auto syncAll = [&](bool copies) {
        std::vector<uint64_t> done;
        bool ok = true;
        for (RewriteItem* item : ready) {
            const std::string& path = copies ? item->outcome.entry.safetyCopy : item->originalPath;
            FileStatus st;
            if (!fs.status(path, &st)) {
                ok = false;
                continue;
            }
            if (std::find(done.begin(), done.end(), st.device) != done.end())
                continue;
            done.push_back(st.device);
            ok = syncFileSystemOf(path) && ok;
        }
        return ok;
    };

    // 2. The copies reach the disk, then the list names them all.
    std::vector<RecoveryEntry> entries;
    for (RewriteItem* item : ready)
        entries.push_back(item->outcome.entry);
    RecoveryList list(fs, ops, dataDir);
    if (!syncAll(true) || !list.add(entries)) {
        for (RewriteItem* item : ready)
            dropSafetyCopy(item->outcome.entry);
        return;
    }

    // 3. Each original is overwritten from its start and cut; a failure puts the copy back.
    std::vector<RecoveryEntry> finished;
    for (RewriteItem* item : ready) {
        RecoveryEntry& entry = item->outcome.entry;
        // The guard handle holds the lock for the whole rewrite; the original must still be
        // the scanned file when the lock is ours.
        auto guard = fs.openRead(item->originalPath);
        FileStatus now;
        if (!guard || !guard->lockExclusive(kOriginalLockWaitMs) || !guard->status(&now)
            || (item->checkExpected && !unchangedSince(item->expected, now))) {
            item->outcome.result = RewriteResult::Changed;
            finished.push_back(entry); // untouched
            continue;
        }
        const bool clear = item->clearReadOnly && isReadOnlyMode(now.mode);
        if (clear && !guard->setMode(now.mode | kOwnerWrite)) {
            finished.push_back(entry); // untouched: NotStarted
            continue;
        }
        auto putModeBack = [&] { return !clear || guard->setMode(now.mode); };
        // Opened again for writing (a read-only original could not be opened so before);
        // it must lead to the very file that is locked and checked.
        auto target = fs.openWrite(item->originalPath, false, false);
        FileStatus opened;
        if (!target || !target->status(&opened) || !sameFile(opened, now)) {
            item->outcome.result = target ? RewriteResult::Changed : RewriteResult::NotStarted;
            item->statusRestored = putModeBack();
            finished.push_back(entry); // untouched
            continue;
        }
        const int64_t written =
            copySegment(*item->source, item->sourceOffset, item->sourceLength, *target, [&] { pauseForTests(fs); });
        if (written >= 0 && target->truncate(written)) {
            item->outcome.result = RewriteResult::Done;
            bool restored = putModeBack();
            if (item->keepLastWrite) {
                PreciseTimes current;
                restored = target->readTimes(&current) && restored;
                current.lastWriteSec = item->keepLastWrite->lastWriteSec;
                current.lastWriteNsec = item->keepLastWrite->lastWriteNsec;
                restored = target->setTimes(current) && restored;
            }
            item->statusRestored = restored;
            continue;
        }
        bool restored = restoreFrom(fs, entry, *target);
        target.reset();
        if (!restored) {
            // The handle may be what failed; try once more through a fresh one.
            auto again = fs.openWrite(item->originalPath, false, false);
            FileStatus st;
            if (again && again->status(&st) && sameFile(st, now))
                restored = restoreFrom(fs, entry, *again);
        }
        item->statusRestored = putModeBack();
        item->outcome.result = restored ? RewriteResult::FailedRestored : RewriteResult::FailedUnrestored;
        if (restored)
            finished.push_back(entry);
    }

    // 4. The new contents reach the disk before the copies go away.
    const bool durable = syncAll(false);
    for (RewriteItem* item : ready)
        if (item->outcome.result == RewriteResult::Done && durable)
            finished.push_back(item->outcome.entry);
    if (list.remove(finished))
        for (const RecoveryEntry& entry : finished)
            dropSafetyCopy(entry);
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
