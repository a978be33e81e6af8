#include "core/SafeRewrite.h"

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

void PauseForTests(FileSystem& fs)
{
    if (PauseHook()) {
        PauseHook()();
        return;
    }
    const char* flag = std::getenv("TW_TEST_PAUSE_COPYBACK");
    if (!flag || !*flag)
        return;
    fs.openWrite(flag, true, true); // created and closed at once
    FileStatus st;
    for (int i = 0; i < 6000 && fs.status(flag, &st); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Writes the copy's content over `target` from its start and cuts it to that length.
bool RestoreFrom(FileSystem& fs, const std::string& copyPath, File& target)
{
    auto copy = fs.openRead(copyPath);
    if (!copy || !target.seek(0))
        return false;
    const int64_t n = CopyContent(*copy, target);
    return n >= 0 && target.truncate(n) && target.sync();
}

// Makes a flushed copy of `originalPath` in "<dataDir>safety/"; returns its path or "".
std::string MakeSafetyCopy(FileSystem& fs, FileOps& ops, const std::string& dataDir,
                           const std::string& originalPath)
{
    if (dataDir.empty())
        return {};
    const std::string dir = dataDir + kSafetyDirName + "/";
    if (!ops.makeDirectory(dataDir + kSafetyDirName))
        return {};
    const std::string path = ops.createUniqueFile(dir, "TWsafe.");
    if (path.empty())
        return {};
    bool ok = false;
    {
        auto in = fs.openRead(originalPath);
        auto out = in ? fs.openWrite(path, false, true) : nullptr;
        ok = out && CopyContent(*in, *out) >= 0 && out->sync();
    }
    if (!ok || !ops.syncDirectory(dir)) {
        fs.removeFile(path);
        return {};
    }
    return path;
}

} // namespace

void SetCopyBackPauseHook(std::function<void()> hook)
{
    PauseHook() = std::move(hook);
}

int64_t CopyContent(File& from, File& to, const std::function<void()>& afterFirstChunk)
{
    if (!from.seek(0))
        return -1;
    std::vector<char> buffer(kCopyBufferSize);
    int64_t total = 0;
    bool first = true;
    for (;;) {
        const int64_t n = from.read(buffer.data(), buffer.size());
        if (n < 0)
            return -1;
        if (n == 0)
            return total;
        if (!to.write(buffer.data(), static_cast<size_t>(n)))
            return -1;
        total += n;
        if (first && afterFirstChunk)
            afterFirstChunk();
        first = false;
    }
}

RewriteOutcome RewriteInPlace(FileSystem& fs, FileOps& ops, const std::string& dataDir,
                              const std::string& originalPath, File& source,
                              const std::string& existingCopy)
{
    RewriteOutcome outcome;
    RecoveryEntry& entry = outcome.entry;
    entry.original = originalPath;
    entry.copyIsBackup = !existingCopy.empty();
    entry.safetyCopy = entry.copyIsBackup ? existingCopy : MakeSafetyCopy(fs, ops, dataDir, originalPath);
    if (entry.safetyCopy.empty())
        return outcome;
    auto dropSafetyCopy = [&] {
        if (!entry.copyIsBackup)
            fs.removeFile(entry.safetyCopy);
    };

    RecoveryList list(fs, ops, dataDir);
    if (!list.add(entry)) {
        dropSafetyCopy();
        return outcome;
    }
    auto target = fs.openWrite(originalPath, false, false);
    if (!target) {
        if (list.remove(entry))
            dropSafetyCopy();
        return outcome;
    }

    // Overwrite from the start, then cut: the blocks the original holds stay allocated
    // throughout, so writing the old content back needs no new space on a full disk.
    const int64_t written = CopyContent(source, *target, [&] { PauseForTests(fs); });
    if (written >= 0 && target->truncate(written) && target->sync()) {
        target.reset();
        if (list.remove(entry))
            dropSafetyCopy();
        outcome.result = RewriteResult::Done;
        return outcome;
    }

    bool restored = RestoreFrom(fs, entry.safetyCopy, *target);
    target.reset();
    if (!restored) {
        // The handle may be what failed; try once more through a fresh one.
        if (auto again = fs.openWrite(originalPath, false, false))
            restored = RestoreFrom(fs, entry.safetyCopy, *again);
    }
    if (restored && list.remove(entry)) {
        dropSafetyCopy();
        outcome.result = RewriteResult::FailedRestored;
    } else {
        outcome.result = restored ? RewriteResult::FailedRestored : RewriteResult::FailedUnrestored;
    }
    return outcome;
}

} // namespace tw
