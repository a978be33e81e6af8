#include "core/RecoveryList.h"
#include "core/ReplaceWriter.h"
#include "core/UndoHistory.h"
#include "engine/Sha256.h"
#include "platform/Environment.h"
#include "ReplaceTestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using namespace test;

// A replace run over files below "<tmp>/src/" with backups (when wanted) in "<tmp>/bak/".
struct WriterFixture : ::testing::Test {
    DataTempDir dir;
    ScriptedHost host;
    RecordingSink sink;
    ConfirmationState confirmation;
    FileSystem* fs = &realFileSystem();
    std::unique_ptr<ReplaceWriter> writer;
    ProgramOptions options;
    std::string src, bak, data;

    void SetUp() override
    {
        src = dir.path() + "src/";
        bak = dir.path() + "bak/";
        ::mkdir(src.c_str(), 0755);
        data = dataDirectory();
        ASSERT_FALSE(data.empty());
        options.promptMode = 2;
    }
    void start(bool quiet = true)
    {
        confirmation.startRun(options.promptMode);
        writer = std::make_unique<ReplaceWriter>(*fs, realFileOps(), host, sink, confirmation);
        writer->startRun(options, quiet, data);
        ASSERT_TRUE(writer->createTempFiles(1));
    }
    std::string makeFile(const std::string& rel, const std::string& content)
    {
        const std::string path = src + rel;
        std::system(("mkdir -p '" + directoryOf(path) + "'").c_str());
        writeFile(path, content);
        return path;
    }
    // Puts `replaced` into the temporary output and commits `path` (with the output's
    // hash as its writer took it, when given).
    CommitResult commit(const std::string& path, const std::string& replaced, long count,
                        std::optional<int64_t> sizeChange = {}, const std::string& outputHash = {},
                        int64_t outputHashLength = -1)
    {
        File* out = writer->tempFile(0);
        EXPECT_TRUE(out->seek(0) && out->truncate(0) && out->write(replaced.data(), replaced.size()));
        CommitInput in;
        in.path = path;
        in.startPath = src;
        in.backupDir = options.backupPath;
        EXPECT_TRUE(realFileSystem().status(path, &in.status));
        in.output = out;
        in.replacements = count;
        in.sizeChange = sizeChange ? *sizeChange : in.status.size - static_cast<int64_t>(replaced.size());
        in.outputHash = outputHash;
        in.outputHashLength = outputHashLength;
        return writer->CommitFile(in);
    }
    bool safetyDirEmpty()
    {
        std::vector<DirEntry> entries;
        // A directory that was never made counts as empty.
        (void)realFileSystem().listDirectory(data + kSafetyDirName, &entries);
        return entries.empty();
    }
};

TEST_F(WriterFixture, BackupKeepsTheStructureAndWritesTheUndoLine)
{
    options.backupPath = bak;
    start();
    const std::string path = makeFile("x/y/z.txt", "old text\n");
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(commit(path, "new\n", 1), CommitResult::Replaced);
    EXPECT_EQ(readFile(path), "new\n");
    EXPECT_EQ(readFile(bak + "x/y/z.txt"), "old text\n");
    struct stat st {};
    ASSERT_EQ(::stat((bak + "x/y/z.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the backup gets the original's permissions";
    EXPECT_EQ(readFile(data + "twundo.sh"), "#!/bin/sh\ncp -p -- '" + bak + "x/y/z.txt' '" + path + "'\n");
    ASSERT_EQ(::stat((data + "twundo.sh").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(writer->filesReplaced(), 1);
    EXPECT_EQ(writer->replacements(), 1);
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_TRUE(pendingRecoveries(data).empty());
}

TEST_F(WriterFixture, WithoutBackupNoUndoFileAndNoSafetyCopyLeft)
{
    start();
    const std::string a = makeFile("a.txt", "aaaa"), b = makeFile("b.txt", "bbbb");
    EXPECT_EQ(commit(a, "A", 3), CommitResult::Replaced);
    EXPECT_EQ(commit(b, "BBBBBB", 2), CommitResult::Replaced);
    EXPECT_EQ(readFile(a), "A");
    EXPECT_EQ(readFile(b), "BBBBBB");
    EXPECT_EQ(writer->filesReplaced(), 2);
    EXPECT_EQ(writer->replacements(), 5);
    FileStatus st;
    EXPECT_FALSE(realFileSystem().status(data + "twundo.sh", &st));
    EXPECT_TRUE(safetyDirEmpty());
    EXPECT_TRUE(pendingRecoveries(data).empty());
}

TEST_F(WriterFixture, RewriteKeepsInodeAndHardLinks)
{
    start();
    const std::string path = makeFile("a.txt", "original content");
    const std::string link = dir.path() + "link.txt";
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    struct stat before {}, after {};
    ::stat(path.c_str(), &before);
    EXPECT_EQ(commit(path, "short", 1), CommitResult::Replaced);
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(readFile(link), "short");
}

TEST_F(WriterFixture, WriteToBackupDirLeavesTheOriginal)
{
    options.backupPath = bak;
    options.writeToBackupDir = true;
    options.keepFileTime = true;
    start();
    const std::string path = makeFile("d/f.txt", "original");
    const timespec times[2] = {{1500000000, 123456789}, {1600000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(commit(path, "changed!", 4), CommitResult::Replaced);
    EXPECT_EQ(readFile(path), "original");
    EXPECT_EQ(readFile(bak + "d/f.txt"), "changed!");
    struct stat o {}, c {};
    ::stat(path.c_str(), &o);
    ::stat((bak + "d/f.txt").c_str(), &c);
    EXPECT_EQ(o.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(o.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(c.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(c.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(readFile(data + "twundo.sh"), "#!/bin/sh\ncp -p -- '" + path + "' '" + bak + "d/f.txt'\n");
    EXPECT_EQ(writer->filesReplaced(), 1);
    EXPECT_EQ(writer->replacements(), 4);
}

TEST_F(WriterFixture, KeepFileTimeStamp)
{
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        options.keepFileTime = keep;
        start();
        const std::string path = makeFile("t.txt", "0123456789");
        const timespec times[2] = {{1400000000, 5}, {1450000000, 999999999}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        EXPECT_EQ(commit(path, "01234", 1), CommitResult::Replaced);
        struct stat st {};
        ::stat(path.c_str(), &st);
        if (keep) {
            EXPECT_EQ(st.st_mtim.tv_sec, 1450000000);
            EXPECT_EQ(st.st_mtim.tv_nsec, 999999999);
        } else {
            EXPECT_GT(st.st_mtim.tv_sec, 1450000000);
        }
    }
}

TEST_F(WriterFixture, ReadOnlyQuestion)
{
    struct Row {
        const char* name;
        std::vector<Answer> answers; // per-file question, then the read-only question
        bool replaced, cancelled;
    };
    const Row rows[] = {
        {"yes", {Answer::Yes, Answer::Yes}, true, false},
        {"no", {Answer::Yes, Answer::No}, false, false},
        {"cancel", {Answer::Yes, Answer::Cancel}, false, true},
        {"no to the file question comes first", {Answer::No}, false, false},
    };
    options.promptMode = 1;
    options.backupPath = bak;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::system(("rm -rf '" + bak + "'").c_str());
        start();
        host.asked.clear();
        host.answers.assign(r.answers.begin(), r.answers.end());
        const std::string path = makeFile("ro.txt", "read only");
        ::chmod(path.c_str(), 0444);
        EXPECT_EQ(commit(path, "changed", 1), r.replaced ? CommitResult::Replaced : CommitResult::Declined);
        EXPECT_EQ(readFile(path), r.replaced ? "changed" : "read only");
        EXPECT_EQ(host.asked.size(), r.answers.size());
        if (host.asked.size() == 2) {
            EXPECT_EQ(host.asked[1].first, Question::ReadOnly);
        }
        struct stat st {};
        ::stat(path.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, 0444u) << "read-only again afterwards";
        EXPECT_EQ(confirmation.cancelled(), r.cancelled);
        // The backup made before the question stays.
        FileStatus bs;
        EXPECT_EQ(realFileSystem().status(bak + "ro.txt", &bs), r.answers.size() == 2);
        ::chmod(path.c_str(), 0644);
    }
}

TEST_F(WriterFixture, YesToAllAndHiddenFiles)
{
    options.promptMode = 0;
    confirmation.startRun(0);
    start();
    host.answers = {Answer::Yes, Answer::YesToAll, Answer::Yes};
    const std::string a = makeFile("a.txt", "aa"), h = makeFile(".hidden", "hh");
    ::chmod(a.c_str(), 0400);
    EXPECT_EQ(commit(a, "A", 1), CommitResult::Replaced);
    EXPECT_EQ(commit(h, "H", 1), CommitResult::Replaced) << "hidden is asked about, not refused";
    EXPECT_EQ(readFile(h), "H");
    ASSERT_EQ(host.asked.size(), 3u) << "no read-only question after yes to all";
    EXPECT_EQ(host.asked[2].first, Question::YesNoCancel);
}

TEST_F(WriterFixture, SizeMismatchLeavesTheOriginal)
{
    for (const bool quiet : {true, false}) {
        start(quiet);
        sink.lines.clear();
        host.messages.clear();
        const std::string path = makeFile("m.txt", "0123456789");
        EXPECT_EQ(commit(path, "abc", 1, 5), CommitResult::Failed);
        EXPECT_EQ(readFile(path), "0123456789");
        const std::string text = "Mismatch between expected and actual size after replace:\n"
                                 "5 bytes expected, 3 bytes actual in file\n" + path;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].first, text);
        EXPECT_EQ(host.messages[0].second, quiet);
        EXPECT_EQ(sink.contains(text), quiet);
        EXPECT_EQ(writer->filesReplaced(), 0);
    }
}

TEST_F(WriterFixture, ReformattedFileSkipsTheSizeCheck)
{
    start();
    const std::string path = makeFile("r.txt", "a b c");
    File* out = writer->tempFile(0);
    ASSERT_TRUE(out->write("a\r\nb\r\nc\r\n", 9));
    CommitInput in;
    in.path = path;
    ASSERT_TRUE(realFileSystem().status(path, &in.status));
    in.output = out;
    in.replacements = 1;
    in.reformatted = true;
    EXPECT_EQ(writer->CommitFile(in), CommitResult::Replaced);
    EXPECT_EQ(readFile(path), "a\r\nb\r\nc\r\n");
}

TEST_F(WriterFixture, BackupDirectoryProblems)
{
    options.backupPath = bak;
    start();
    ::mkdir(bak.c_str(), 0755);
    writeFile(bak + "blocked", "a file where a directory is needed");
    const std::string p1 = makeFile("blocked/f.txt", "one");
    EXPECT_EQ(commit(p1, "1", 1), CommitResult::Failed);
    EXPECT_EQ(readFile(p1), "one");
    EXPECT_TRUE(sink.contains("Error creating/writing file to backup directory f.txt"));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().first, "Error creating/writing file to backup directory f.txt");

    // Two files with the same backup name in one run: the second would destroy the first's backup.
    const std::string p2 = makeFile("same.txt", "first");
    EXPECT_EQ(commit(p2, "1", 1), CommitResult::Replaced);
    writeFile(p2, "second");
    EXPECT_EQ(commit(p2, "2", 1), CommitResult::Failed);
    EXPECT_EQ(readFile(bak + "same.txt"), "first");
    EXPECT_EQ(readFile(p2), "second");
}

TEST_F(WriterFixture, FileChangedSinceTheScanIsLeftAlone)
{
    start();
    const std::string path = makeFile("c.txt", "scanned");
    File* out = writer->tempFile(0);
    ASSERT_TRUE(out->write("X", 1));
    CommitInput in;
    in.path = path;
    ASSERT_TRUE(realFileSystem().status(path, &in.status));
    in.output = out;
    in.replacements = 1;
    in.sizeChange = in.status.size - 1;
    writeFile(path, "another program wrote this");
    EXPECT_EQ(writer->CommitFile(in), CommitResult::Failed);
    EXPECT_EQ(readFile(path), "another program wrote this");
    EXPECT_TRUE(sink.contains("Error writing (another app may own it) file c.txt"));
}

TEST_F(WriterFixture, PerFileQuestion)
{
    options.promptMode = 1;
    start();
    const std::string path = makeFile("q.txt", "abc");
    host.answers = {Answer::No, Answer::Cancel};
    EXPECT_EQ(commit(path, "x", 7), CommitResult::Declined);
    EXPECT_EQ(host.asked.at(0).second, "Replace 7 occurences in file " + path + "?");
    EXPECT_FALSE(confirmation.cancelled());
    EXPECT_EQ(commit(path, "x", 7), CommitResult::Declined);
    EXPECT_TRUE(confirmation.cancelled());
    EXPECT_EQ(readFile(path), "abc");
}

TEST_F(WriterFixture, OutputHashIsRecordedOnlyForTheOutputsLength)
{
    start();
    writer->keepUndoHistory("a", "b", 0);
    ASSERT_TRUE(writer->keepsUndoHistory());
    // A hash given for the output's very length stands for it: it is recorded as given
    // (here one that is not the content's, to tell it from one taken while staging).
    const std::string given(64, 'e');
    const std::string a = makeFile("a.txt", "aaaa"), b = makeFile("b.txt", "bbbb"), c = makeFile("c.txt", "cccc");
    EXPECT_EQ(commit(a, "AAAAA", 1, -1, given, 5), CommitResult::Replaced);
    // One for another length, or none, is not: the staged content is hashed.
    EXPECT_EQ(commit(b, "BBBBB", 1, -1, given, 4), CommitResult::Replaced);
    EXPECT_EQ(commit(c, "CCCCC", 1, -1), CommitResult::Replaced);
    writer->endRun();
    const std::optional<UndoRunRecord> run = UndoHistory(realFileSystem(), realFileOps(), data).lastOpenRun();
    ASSERT_TRUE(run);
    std::map<std::string, std::string> hashes;
    for (const UndoFileRecord& f : run->files)
        hashes[f.path] = f.sha256;
    auto sha = [](const std::string& bytes) {
        Sha256 s;
        s.update(bytes.data(), bytes.size());
        return Sha256::hex(s.finish());
    };
    ASSERT_EQ(hashes.size(), 3u);
    EXPECT_EQ(hashes[a], given);
    EXPECT_EQ(hashes[b], sha("BBBBB"));
    EXPECT_EQ(hashes[c], sha("CCCCC"));
}

TEST_F(WriterFixture, TempFilesAreCreatedAndDeleted)
{
    confirmation.startRun(2);
    writer = std::make_unique<ReplaceWriter>(*fs, realFileOps(), host, sink, confirmation);
    writer->startRun(options, true, data);
    ASSERT_TRUE(writer->createTempFiles(3));
    ASSERT_TRUE(writer->tempFile(0) && writer->tempFile(1));
    const std::string p0 = writer->tempFile(0)->path(), p1 = writer->tempFile(1)->path();
    EXPECT_EQ(baseName(p0).rfind("TW", 0), 0u);
    writer->releaseTempFiles();
    FileStatus st;
    EXPECT_FALSE(realFileSystem().status(p0, &st));
    EXPECT_FALSE(realFileSystem().status(p1, &st));
    ASSERT_TRUE(writer->createTempFiles(1));
    EXPECT_EQ(writer->tempFile(1), nullptr);
}

// A faulty file system that lets the writer rewrite a full batch on another thread.
class ConcurrentFaultyFs final : public FaultyFileSystem {
public:
    bool concurrent = false;
    bool allowsConcurrentUse() const override { return concurrent; }
};

TEST_F(WriterFixture, BatchesRewrittenAlongsideTheCommitsReportAsWhenRewrittenInTurn)
{
    // Five files in batches of two, with backups and the undo history: while e.txt is
    // committed, the batch of c.txt and d.txt is rewritten on another thread, and d.txt's
    // rewrite fails after its first bytes and is put back. The stand-in cannot create the
    // history's record, so the first batch finds it failed: which later files are still
    // offered for keeping must not depend on how far that batch has got. Lines, counters, files, backups,
    // the undo script and the recovery list must be those of every batch rewritten in turn.
    struct Outcome {
        std::vector<std::string> lines;
        long replaced = 0, replacements = 0, errorLines = 0;
        std::string files, undo;
    };
    auto runOnce = [&](bool concurrent) {
        ConcurrentFaultyFs faulty;
        faulty.concurrent = concurrent;
        const std::string tag = concurrent ? "alongside" : "inturn";
        src = dir.path() + tag + "/";
        bak = dir.path() + tag + "-bak/";
        options.backupPath = bak;
        faulty.target = src + "d.txt";
        faulty.failAfter = 3;
        faulty.faultyOpens = 1;
        fs = &faulty;
        sink.lines.clear();
        ::unlink((data + "twundo.sh").c_str());
        start();
        writer->keepUndoHistory("o", "N", 0);
        writer->setBatchLimit(2);
        Outcome out;
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            const std::string path = makeFile(std::string(name) + ".txt", std::string(name) + " old text");
            EXPECT_EQ(commit(path, std::string(name) + " new text!", 2), CommitResult::Replaced) << name;
        }
        writer->endRun();
        writer->releaseTempFiles();
        for (const char* name : {"a", "b", "c", "d", "e"})
            out.files += readFile(src + name + ".txt") + "|" + readFile(bak + name + ".txt") + "\n";
        // Paths differ between the two runs by their folder only.
        auto plain = [&](std::string text) {
            for (const std::string& prefix : {bak, src})
                for (size_t at; (at = text.find(prefix)) != std::string::npos;)
                    text.replace(at, prefix.size(), "<dir>/");
            return text;
        };
        for (const std::string& line : sink.lines)
            out.lines.push_back(plain(line));
        out.undo = plain(readFile(data + "twundo.sh"));
        out.replaced = writer->filesReplaced();
        out.replacements = writer->replacements();
        out.errorLines = writer->errorLines();
        EXPECT_TRUE(pendingRecoveries(data).empty());
        EXPECT_TRUE(safetyDirEmpty());
        writer.reset();
        fs = &realFileSystem();
        return out;
    };
    const Outcome inTurn = runOnce(false), alongside = runOnce(true);
    EXPECT_EQ(inTurn.replaced, 4);
    EXPECT_EQ(inTurn.replacements, 8);
    EXPECT_EQ(inTurn.errorLines, 1);
    EXPECT_NE(inTurn.files.find("d old text|d old text\n"), std::string::npos) << inTurn.files;
    EXPECT_NE(inTurn.files.find("e new text!|e old text\n"), std::string::npos) << inTurn.files;
    EXPECT_EQ(std::count(inTurn.lines.begin(), inTurn.lines.end(), "Error writing (another app may own it) file d.txt"),
              1);
    EXPECT_EQ(alongside.lines, inTurn.lines);
    EXPECT_EQ(alongside.replaced, inTurn.replaced);
    EXPECT_EQ(alongside.replacements, inTurn.replacements);
    EXPECT_EQ(alongside.errorLines, inTurn.errorLines);
    EXPECT_EQ(alongside.files, inTurn.files);
    EXPECT_EQ(alongside.undo, inTurn.undo);
}

TEST(BackupNameTest, KeepsTheStructureBelowTheStartPath)
{
    EXPECT_EQ(backupName("/data/a/b.txt", "/data/", "/bak/"), "/bak/a/b.txt");
    EXPECT_EQ(backupName("/data/x/y/z.txt", "/data/", "/bak/Path2/"), "/bak/Path2/x/y/z.txt");
    EXPECT_EQ(backupName("/other/c.txt", "/data/", "/bak/"), "/bak/other/c.txt");
}

} // namespace
} // namespace tw
