#include "core/RecoveryList.h"
#include "core/ReplaceWriter.h"
#include "core/SafeRewrite.h"
#include "core/UndoRecorder.h"
#include "platform/Environment.h"
#include "ReplaceTestSupport.h"

#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tw {
namespace {

using namespace test;

bool dirEmpty(const std::string& dir)
{
    std::vector<DirEntry> entries;
    // A directory that was never made counts as empty.
    (void)realFileSystem().listDirectory(dir, &entries);
    return entries.empty();
}

struct SafeFixture : ::testing::Test {
    DataTempDir dir;
    std::string data;
    std::string path;
    const std::string oldContent = patternBytes(300000, 1);
    const std::string newContent = patternBytes(250001, 9);

    void SetUp() override
    {
        data = dataDirectory();
        ASSERT_FALSE(data.empty());
        path = dir.path() + "victim.bin";
        writeFile(path, oldContent);
    }
    void TearDown() override { setCopyBackPauseHook({}); }
};

// A write failure part-way through the copy-back (full disk, I/O error, lost permission)
// leaves the original byte for byte as it was, reports the file, and leaves no safety
// copy, list entry or temporary file behind.
TEST_F(SafeFixture, FailedCopyBackLeavesTheOriginalIntact)
{
    struct Row {
        int64_t failAfter;
        bool withBackup;
    };
    const Row rows[] = {{0, false}, {1000, false}, {102400, false}, {204800, false}, {249999, false},
                        {0, true}, {150000, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.failAfter) + (r.withBackup ? " with backup" : ""));
        writeFile(path, oldContent);
        FaultyFileSystem fs;
        fs.target = path;
        fs.failAfter = r.failAfter;
        fs.faultyOpens = 1; // the rewrite's handle fails; writing back works
        ScriptedHost host;
        RecordingSink sink;
        ConfirmationState confirmation;
        confirmation.startRun(2);
        ProgramOptions options;
        if (r.withBackup)
            options.backupPath = dir.path() + "bak/";
        ReplaceWriter writer(fs, realFileOps(), host, sink, confirmation);
        writer.startRun(options, true, data);
        ASSERT_TRUE(writer.createTempFiles(1));
        File* out = writer.tempFile(0);
        ASSERT_TRUE(out->write(newContent.data(), newContent.size()));
        const std::string tempPath = out->path();

        CommitInput in;
        in.path = path;
        in.startPath = dir.path();
        in.backupDir = options.backupPath;
        ASSERT_TRUE(fs.status(path, &in.status, true));
        in.output = out;
        in.replacements = 1;
        in.sizeChange = in.status.size - static_cast<int64_t>(newContent.size());
        EXPECT_EQ(writer.CommitFile(in), CommitResult::Failed);
        writer.releaseTempFiles();

        EXPECT_TRUE(readFile(path) == oldContent) << "original changed";
        EXPECT_TRUE(sink.contains("Error writing (another app may own it) file victim.bin"));
        EXPECT_EQ(writer.filesReplaced(), 0);
        EXPECT_TRUE(dirEmpty(data + kSafetyDirName));
        EXPECT_TRUE(pendingRecoveries(data).empty());
        FileStatus st;
        EXPECT_FALSE(realFileSystem().status(tempPath, &st));
        EXPECT_GE(fs.writeOpens, 2) << "the original was opened again to write it back";
        if (r.withBackup) {
            EXPECT_TRUE(readFile(dir.path() + "bak/victim.bin") == oldContent);
        }
    }
}

// When even writing back fails, the entry and the safety copy stay, and the user is told
// where the earlier content is.
TEST_F(SafeFixture, UnrestorableFailureKeepsEntryAndCopy)
{
    FaultyFileSystem fs;
    fs.target = path;
    fs.failAfter = 5000;
    fs.faultyOpens = -1;
    auto source = realFileSystem().openWrite(dir.path() + "new.bin", true, true);
    ASSERT_TRUE(source->write(newContent.data(), newContent.size()));
    const RewriteOutcome r = rewriteInPlace(fs, realFileOps(), data, path, *source, "");
    EXPECT_EQ(r.result, RewriteResult::FailedUnrestored);
    const auto pending = pendingRecoveries(data);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].original, path);
    EXPECT_TRUE(pending[0].copyExists);
    EXPECT_FALSE(pending[0].copyIsBackup);
    EXPECT_TRUE(readFile(pending[0].safetyCopy) == oldContent);
    const std::string report = formatRecoveryReport(pending[0]);
    EXPECT_NE(report.find(path), std::string::npos);
    EXPECT_NE(report.find(pending[0].safetyCopy), std::string::npos);
    EXPECT_TRUE(dismissRecovery(data, pending[0]));
    EXPECT_TRUE(pendingRecoveries(data).empty());
}

TEST_F(SafeFixture, EntryExistsDuringCopyBackOnly)
{
    auto source = realFileSystem().openWrite(dir.path() + "new.bin", true, true);
    ASSERT_TRUE(source->write(newContent.data(), newContent.size()));
    bool paused = false;
    setCopyBackPauseHook([&] {
        paused = true;
        const auto pending = pendingRecoveries(data);
        ASSERT_EQ(pending.size(), 1u);
        EXPECT_EQ(pending[0].original, path);
        EXPECT_TRUE(pending[0].copyExists);
        EXPECT_TRUE(readFile(pending[0].safetyCopy) == oldContent);
        EXPECT_EQ(readFile(path).compare(0, kCopyBufferSize, newContent, 0, kCopyBufferSize), 0)
            << "the copy-back is under way";
    });
    const RewriteOutcome r = rewriteInPlace(realFileSystem(), realFileOps(), data, path, *source, "");
    EXPECT_TRUE(paused);
    EXPECT_EQ(r.result, RewriteResult::Done);
    EXPECT_TRUE(readFile(path) == newContent);
    EXPECT_TRUE(pendingRecoveries(data).empty());
    EXPECT_TRUE(dirEmpty(data + kSafetyDirName));
}

TEST_F(SafeFixture, BackupServesAsTheCopy)
{
    const std::string backup = dir.path() + "victim.bak";
    writeFile(backup, oldContent);
    auto source = realFileSystem().openWrite(dir.path() + "new.bin", true, true);
    ASSERT_TRUE(source->write(newContent.data(), newContent.size()));
    setCopyBackPauseHook([&] {
        const auto pending = pendingRecoveries(data);
        ASSERT_EQ(pending.size(), 1u);
        EXPECT_EQ(pending[0].safetyCopy, backup);
        EXPECT_TRUE(pending[0].copyIsBackup);
    });
    EXPECT_EQ(rewriteInPlace(realFileSystem(), realFileOps(), data, path, *source, backup).result, RewriteResult::Done);
    EXPECT_TRUE(readFile(backup) == oldContent) << "a backup is kept";
    FileStatus st;
    EXPECT_FALSE(realFileSystem().status(data + kSafetyDirName, &st) && !dirEmpty(data + kSafetyDirName));
}

// A process killed in the middle of a copy-back leaves an entry whose copy holds the
// original content.
TEST_F(SafeFixture, KilledDuringCopyBackLeavesARecoverableEntry)
{
    const std::string flag = dir.path() + "paused";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("TW_TEST_PAUSE_COPYBACK", flag.c_str(), 1);
        auto source = realFileSystem().openWrite(dir.path() + "new.bin", true, true);
        if (!source || !source->write(newContent.data(), newContent.size()))
            ::_exit(3);
        // The parent kills this child during the pause; its outcome is never looked at.
        (void)rewriteInPlace(realFileSystem(), realFileOps(), data, path, *source, "");
        ::_exit(0); // reached only when the pause timed out
    }
    FileStatus st;
    bool seen = false;
    for (int i = 0; i < 2000 && !seen; ++i) {
        seen = realFileSystem().status(flag, &st);
        if (!seen)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(seen) << "the child never reached the copy-back";
    EXPECT_TRUE(WIFSIGNALED(status));

    EXPECT_FALSE(readFile(path) == oldContent) << "the kill came in the middle of the rewrite";
    const auto pending = pendingRecoveries(data);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].original, path);
    EXPECT_TRUE(pending[0].copyExists);
    EXPECT_TRUE(readFile(pending[0].safetyCopy) == oldContent);
    EXPECT_NE(formatRecoveryReport(pending[0]).find(pending[0].safetyCopy), std::string::npos);
}

TEST_F(SafeFixture, RecoveryListKeepsAnyPath)
{
    RecoveryList list(realFileSystem(), realFileOps(), data);
    const std::vector<RecoveryEntry> entries = {
        {"/a b/c\td.txt", "/s/1", false, false},
        {"/n\nl/%41%/\xe9\xff.txt", "/bak/x y'z", true, false},
        {"/plain", "/s/2", false, false},
    };
    for (const auto& e : entries)
        ASSERT_TRUE(list.add(e));
    auto got = pendingRecoveries(data);
    ASSERT_EQ(got.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(got[i], entries[i]);
    ASSERT_TRUE(list.remove(entries[1]));
    got = pendingRecoveries(data);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], entries[0]);
    EXPECT_EQ(got[1], entries[2]);
    EXPECT_FALSE(got[0].copyExists);
}

} // namespace
} // namespace tw

namespace tw {
namespace {

using namespace test;

// A batch shares one safety file and one list update; a write failure on one original
// restores that original from its segment while the others are rewritten.
TEST(SafeBatch, OneFailureInABatchRestoresOnlyThatOriginal)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    const int kFiles = 5;
    std::vector<std::string> paths, olds, news;
    std::vector<std::unique_ptr<File>> sources;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(dir.path() + "f" + std::to_string(i));
        olds.push_back(patternBytes(50000 + 70000 * static_cast<size_t>(i), i));
        news.push_back(patternBytes(30000 + 90000 * static_cast<size_t>(i), 10 + i));
        writeFile(paths.back(), olds.back());
        writeFile(paths.back() + ".new", news.back());
        sources.push_back(realFileSystem().openRead(paths.back() + ".new"));
    }
    FaultyFileSystem fs;
    fs.target = paths[2];
    fs.failAfter = 40000;
    fs.faultyOpens = 1;
    std::vector<RewriteItem> items(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        items[i].originalPath = paths[i];
        items[i].source = sources[i].get();
    }
    rewriteBatchInPlace(fs, realFileOps(), data, items);
    for (int i = 0; i < kFiles; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].outcome.result, i == 2 ? RewriteResult::FailedRestored : RewriteResult::Done);
        EXPECT_TRUE(readFile(paths[i]) == (i == 2 ? olds[i] : news[i]));
    }
    EXPECT_TRUE(pendingRecoveries(data).empty());
    EXPECT_TRUE(dirEmpty(data + kSafetyDirName));
}

// While a batch is being copied back every original of the batch is listed, each with
// the byte range of the shared safety file that holds its earlier content.
TEST(SafeBatch, EntriesNameTheirSegmentOfTheSharedSafetyFile)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    std::vector<std::string> paths, olds;
    std::vector<std::unique_ptr<File>> sources;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.path() + "g" + std::to_string(i));
        olds.push_back(patternBytes(120000 + 1000 * static_cast<size_t>(i), i));
        writeFile(paths.back(), olds.back());
        writeFile(paths.back() + ".new", patternBytes(110000, 20 + i));
        sources.push_back(realFileSystem().openRead(paths.back() + ".new"));
    }
    std::vector<RewriteItem> items(3);
    for (int i = 0; i < 3; ++i) {
        items[i].originalPath = paths[i];
        items[i].source = sources[i].get();
    }
    bool checked = false;
    setCopyBackPauseHook([&] {
        if (checked)
            return;
        checked = true;
        const auto pending = pendingRecoveries(data);
        ASSERT_EQ(pending.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(pending[i].original, paths[i]);
            ASSERT_GE(pending[i].copyLength, 0);
            const std::string shared = readFile(pending[i].safetyCopy);
            EXPECT_TRUE(shared.substr(static_cast<size_t>(pending[i].copyOffset),
                                      static_cast<size_t>(pending[i].copyLength)) == olds[i]);
            EXPECT_NE(formatRecoveryReport(pending[i]).find("(bytes "), std::string::npos);
        }
    });
    rewriteBatchInPlace(realFileSystem(), realFileOps(), data, items);
    setCopyBackPauseHook({});
    EXPECT_TRUE(checked);
    EXPECT_TRUE(pendingRecoveries(data).empty());
}

// Runs `act` once every copy is made and listed, right before the originals are written.
struct SwappingKeeper : RewriteKeeper {
    std::function<void()> act;
    void beforeRewrite(const std::vector<RewriteItem*>&, const std::string&, const FileStatus&) override { act(); }
    bool afterRewrite(const std::vector<RewriteItem*>&, const std::string&) override { return false; }
};

// A file system whose opens for a rewrite are refused as if the originals were not
// writable, so the rewrite takes the way of a read-only original: a handle for reading
// holds the lock, the one for writing is opened after the mode check.
class NoWriteOpenFileSystem : public FaultyFileSystem {
public:
    std::unique_ptr<File> openForRewrite(const std::string&, int, FileStatus*, int* error) override
    {
        if (error)
            *error = EACCES;
        return nullptr;
    }
};

// The original is opened, locked and checked on one descriptor right before it is
// written. An original that was swapped after the scan (another file renamed over it, a
// link or a FIFO put in its place, bytes appended in place) is left alone and so is
// whatever took its name; the others are rewritten, a read-only one keeping its mode.
TEST(SafeBatch, OriginalsSwappedBeforeTheirRewriteAreLeftAlone)
{
    for (const bool writeOpens : {true, false}) {
        SCOPED_TRACE(writeOpens ? "opened for writing at once" : "read-only way");
        DataTempDir dir;
        const std::string data = dataDirectory();
        const int kFiles = 6;
        std::vector<std::string> paths, olds;
        std::vector<std::unique_ptr<File>> sources;
        const std::string newText = patternBytes(70000, 3);
        for (int i = 0; i < kFiles; ++i) {
            paths.push_back(dir.path() + "s" + std::to_string(i));
            olds.push_back(patternBytes(60000 + 1000 * static_cast<size_t>(i), i));
            writeFile(paths.back(), olds.back());
        }
        writeFile(dir.path() + "new", newText);
        ASSERT_EQ(::chmod(paths[5].c_str(), 0444), 0);
        const std::string stranger = dir.path() + "stranger", victim = dir.path() + "victim";
        writeFile(stranger, "a file renamed over an original");
        writeFile(victim, "a file a link leads to");
        std::vector<RewriteItem> items(kFiles);
        for (int i = 0; i < kFiles; ++i) {
            sources.push_back(realFileSystem().openRead(dir.path() + "new"));
            items[i].originalPath = paths[i];
            items[i].source = sources.back().get();
            items[i].checkExpected = true;
            items[i].clearReadOnly = true;
            ASSERT_TRUE(realFileSystem().status(paths[i], &items[i].expected));
        }
        SwappingKeeper keeper;
        keeper.act = [&] {
            ASSERT_EQ(::rename(stranger.c_str(), paths[1].c_str()), 0);
            ASSERT_EQ(::unlink(paths[2].c_str()), 0);
            ASSERT_EQ(::symlink(victim.c_str(), paths[2].c_str()), 0);
            ASSERT_EQ(::unlink(paths[3].c_str()), 0);
            ASSERT_EQ(::mkfifo(paths[3].c_str(), 0644), 0);
            std::ofstream(paths[4], std::ios::app) << "appended";
        };
        NoWriteOpenFileSystem refusing;
        FaultyFileSystem passing;
        FileSystem& fs = writeOpens ? static_cast<FileSystem&>(passing) : refusing;
        rewriteBatchInPlace(fs, realFileOps(), data, items, &keeper);

        const RewriteResult expected[kFiles] = {RewriteResult::Done,    RewriteResult::Changed, RewriteResult::Changed,
                                                RewriteResult::Changed, RewriteResult::Changed, RewriteResult::Done};
        for (int i = 0; i < kFiles; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(items[i].outcome.result, expected[i]);
        }
        EXPECT_TRUE(readFile(paths[0]) == newText);
        EXPECT_EQ(readFile(paths[1]), "a file renamed over an original");
        EXPECT_EQ(readFile(victim), "a file a link leads to");
        EXPECT_TRUE(readFile(paths[4]) == olds[4] + "appended");
        EXPECT_TRUE(readFile(paths[5]) == newText);
        struct stat st {};
        ASSERT_EQ(::stat(paths[5].c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
        EXPECT_TRUE(items[5].statusRestored);
        EXPECT_TRUE(pendingRecoveries(data).empty());
        EXPECT_TRUE(dirEmpty(data + kSafetyDirName));
    }
}

// The undo history links a backup by its name without opening it; the new name must lead
// to the very backup the recovery list names. A backup that was swapped for another file,
// a link or a FIFO is not kept, and no name for it is left in the history.
TEST(SafeBatch, HistoryKeepsOnlyTheBackupTheListNames)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    FileSystem& fs = realFileSystem();
    const std::string original = dir.path() + "orig.txt", backup = dir.path() + "orig.bak";
    writeFile(original, "old text");
    writeFile(backup, "old text");
    writeFile(dir.path() + "other", "old text, but another file");
    ASSERT_EQ(::symlink(backup.c_str(), (dir.path() + "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir.path() + "fifo").c_str(), 0644), 0);
    FileStatus backupStatus;
    ASSERT_TRUE(fs.status(backup, &backupStatus));
    // Each name twice: linked at once (the backup's last-write time unknown), and linked
    // while the original is rewritten, checked when the rewrite is done.
    const std::vector<std::string> names{"other", "link", "fifo", "orig.bak"};
    for (size_t round = 0; round < 2 * names.size(); ++round) {
        const std::string& name = names[round % names.size()];
        const bool later = round >= names.size();
        SCOPED_TRACE(name + (later ? " (linked later)" : ""));
        UndoRecorder recorder(fs, realFileOps(), data, int64_t(1) << 30, "old", "new", 0);
        RewriteItem item;
        item.originalPath = original;
        item.checkExpected = true;
        ASSERT_TRUE(fs.status(original, &item.expected));
        item.sourceLength = 8;
        item.contentHash = std::string(64, '0');
        item.keepCopy = recorder.reserve(item.expected.size);
        ASSERT_TRUE(item.keepCopy);
        item.existingCopy = dir.path() + name;
        RecoveryEntry& entry = item.outcome.entry;
        entry.original = original;
        entry.copyIsBackup = true;
        entry.safetyCopy = item.existingCopy;
        entry.copyLength = backupStatus.size;
        entry.copyDevice = backupStatus.device;
        entry.copyInode = backupStatus.inode;
        item.backupLastWrite = later ? backupStatus.lastWrite : 0;
        recorder.beforeRewrite({&item}, std::string(), FileStatus{});
        if (later) {
            item.outcome.result = RewriteResult::Done;
            (void)recorder.afterRewrite({&item}, std::string());
        }
        const std::vector<std::string> notKept = recorder.takeNotKept();
        EXPECT_EQ(notKept.empty(), name == "orig.bak");
    }
    // One copy in the history for each way: the backup itself.
    std::vector<DirEntry> entries;
    ASSERT_TRUE(fs.listDirectory(data + kUndoDirName, &entries));
    std::vector<std::string> copies;
    for (const DirEntry& e : entries)
        if (e.name.find(".rec") == std::string::npos)
            copies.push_back(e.name);
    ASSERT_EQ(copies.size(), 2u);
    for (const std::string& copy : copies) {
        FileStatus kept;
        ASSERT_TRUE(fs.status(data + kUndoDirName + "/" + copy, &kept, false));
        EXPECT_TRUE(kept.isRegular && sameFile(kept, backupStatus)) << copy;
    }
}

} // namespace
} // namespace tw
