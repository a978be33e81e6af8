// Copying, moving and deleting listed files on a real tree: target names, links, files
// that must survive (the source itself, listed files, directories, existing targets),
// archive members, and a copy that fails halfway.
#include "core/FileOperations.h"

#include "TestArchives.h"
#include "FakeHost.h"
#include "ReplaceTestSupport.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct stat lstatOf(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        st.st_ino = 0;
    return st;
}

bool existsOnDisk(const std::string& path) { return lstatOf(path).st_ino != 0; }

size_t entriesIn(const std::string& dir)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

FileOperationRequest requestOf(FileOperationKind kind, std::vector<std::string> paths, std::string destination,
                               std::vector<std::string> starts = {}, bool preserve = false)
{
    FileOperationRequest r;
    for (auto& p : paths)
        r.files.push_back({std::move(p), {}});
    r.operation = kind;
    r.destination = std::move(destination);
    r.startPaths = std::move(starts);
    r.preserve = preserve;
    return r;
}

FileOperationSummary run(const FileOperationRequest& r, const FileOperationHooks& hooks = {})
{
    return runFileOperation(realFileSystem(), realFileOps(), r, hooks);
}

TEST(FileOperations, TargetNamesKeepThePathBelowTheFirstStartPathThatHoldsIt)
{
    FileOperationRequest r;
    r.destination = "/out";
    r.startPaths = {"/data/x", "/data/", "/data/a"};
    r.preserve = true;
    EXPECT_EQ(fileOperationTarget(r, {"/data/a/b.txt", {}}), "/out/a/b.txt");
    EXPECT_EQ(fileOperationTarget(r, {"/DATA/a/b.txt", {}}), "/out/b.txt"); // names are case-sensitive
    EXPECT_EQ(fileOperationTarget(r, {"/datax/b.txt", {}}), "/out/b.txt");  // a start path is a whole directory
    EXPECT_EQ(fileOperationTarget(r, {"/data/../etc/passwd", {}}), "");     // never above the destination
    EXPECT_EQ(fileOperationTarget(r, {"dir/m.txt", "/data/a.zip"}), "/out/m.txt");
    EXPECT_EQ(fileOperationTarget(r, {"../..", "/data/a.zip"}), "");
    r.preserve = false;
    EXPECT_EQ(fileOperationTarget(r, {"/data/a/b.txt", {}}), "/out/b.txt");
    r.destination.clear();
    EXPECT_EQ(fileOperationTarget(r, {"/data/a/b.txt", {}}), "");
}

TEST(FileOperations, CopyAndMoveKeepContentModeAndTimesAndTouchOnlyListedFiles)
{
    TempDir src, out;
    writeFile(src.file("a/b.txt"), "bee");
    writeFile(src.file("a/c.txt"), "sea");
    ASSERT_EQ(::chmod(src.file("a/b.txt").c_str(), 0640), 0);
    const timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, src.file("a/b.txt").c_str(), times, 0), 0);

    auto r = requestOf(FileOperationKind::Copy, {src.file("a/b.txt")}, out.path(), {src.path()}, true);
    FileOperationSummary s = run(r);
    EXPECT_EQ(s.text(FileOperationKind::Copy), "1 file copied, 0 failed");
    const struct stat copied = lstatOf(out.file("a/b.txt"));
    EXPECT_EQ(readFile(out.file("a/b.txt")), "bee");
    EXPECT_EQ(copied.st_mode & 07777, 0640u);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 987654321);
    EXPECT_FALSE(existsOnDisk(out.file("a/c.txt"))); // not in the list
    EXPECT_EQ(entriesIn(out.file("a")), 1u);   // no temporary left beside it

    // A move within one file system is a rename: the same inode arrives.
    const ino_t inode = lstatOf(src.file("a/c.txt")).st_ino;
    r = requestOf(FileOperationKind::Move, {src.file("a/c.txt"), src.file("a/b.txt")}, out.file("m"));
    size_t asked = 0;
    FileOperationHooks hooks;
    hooks.stopRequested = [&] { return asked++ == 1; };
    s = run(r, hooks);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.text(FileOperationKind::Move), "1 file moved, 0 failed");
    EXPECT_EQ(lstatOf(out.file("m/c.txt")).st_ino, inode);
    EXPECT_FALSE(existsOnDisk(src.file("a/c.txt")));
    EXPECT_EQ(readFile(src.file("a/b.txt")), "bee"); // after the stop
}

// A file system whose renames fail as between two file systems, and whose placed files
// can be made to fail after some bytes.
class TestOps : public FileOps {
public:
    bool renameFails = false;
    int64_t failAfter = -1; // bytes a placed file takes before its writes fail; -1: no limit

    bool makeDirectory(const std::string& p) override { return real().makeDirectory(p); }
    bool setMode(const std::string& p, uint32_t m) override { return real().setMode(p, m); }
    bool readTimes(const std::string& p, PreciseTimes* t) override { return real().readTimes(p, t); }
    bool setTimes(const std::string& p, const PreciseTimes& t) override { return real().setTimes(p, t); }
    bool sameFile(const std::string& a, const std::string& b) override { return real().sameFile(a, b); }
    bool rename(const std::string& a, const std::string& b) override { return !renameFails && real().rename(a, b); }
    bool syncDirectory(const std::string& d) override { return real().syncDirectory(d); }
    std::string createUniqueFile(const std::string& d, const std::string& p, int* e) override
    {
        return real().createUniqueFile(d, p, e);
    }
    std::unique_ptr<FileLock> lockFile(const std::string& p, int t, int* e) override
    {
        return real().lockFile(p, t, e);
    }
    PlaceResult placeFile(const std::string& root, const std::string& rel, uint32_t mode, const PreciseTimes* times,
                          const FileStatus* notSameAs, const std::function<bool(File&)>& fill) override
    {
        return real().placeFile(root, rel, mode, times, notSameAs, [&](File& out) {
            if (failAfter < 0)
                return fill(out);
            Limited limited(out, failAfter);
            return fill(limited);
        });
    }

private:
    static FileOps& real() { return realFileOps(); }
    class Limited : public File {
    public:
        Limited(File& inner, int64_t budget) : m_inner(inner), m_budget(budget) {}
        int64_t read(void* b, size_t n) override { return m_inner.read(b, n); }
        bool write(const void* d, size_t n) override
        {
            const size_t allowed = std::min(n, static_cast<size_t>(m_budget));
            m_budget -= static_cast<int64_t>(allowed);
            return m_inner.write(d, allowed) && allowed == n; // part lands, then a full disk
        }
        bool seek(int64_t o) override { return m_inner.seek(o); }
        int64_t position() override { return m_inner.position(); }
        bool truncate(int64_t l) override { return m_inner.truncate(l); }
        bool sync() override { return m_inner.sync(); }
        const std::string& path() const override { return m_inner.path(); }

    private:
        File& m_inner;
        int64_t m_budget;
    };
};

TEST(FileOperations, AMoveBetweenFileSystemsCopiesThenRemovesAndAFailedCopyLeavesNothing)
{
    TempDir src, out;
    const std::string big = test::patternBytes(300000, 3);
    writeFile(src.file("big.bin"), big);
    writeFile(out.file("big.bin"), "old");
    TestOps ops;
    ops.renameFails = true;
    ops.failAfter = 100000;
    FileOperationHooks yes;
    yes.askOverwrite = [](const std::string&) { return OverwriteAnswer::Yes; };
    const auto r = requestOf(FileOperationKind::Move, {src.file("big.bin")}, out.path());
    FileOperationSummary s = runFileOperation(realFileSystem(), ops, r, yes);
    EXPECT_EQ(s.failed, 1u);
    EXPECT_EQ(readFile(src.file("big.bin")), big); // the source stays
    EXPECT_EQ(readFile(out.file("big.bin")), "old"); // the target is whole: the old one
    EXPECT_EQ(entriesIn(out.path()), 1u);

    ops.failAfter = -1;
    s = runFileOperation(realFileSystem(), ops, r, yes);
    EXPECT_EQ(s.done, 1u);
    EXPECT_EQ(readFile(out.file("big.bin")), big);
    EXPECT_FALSE(existsOnDisk(src.file("big.bin")));
}

TEST(FileOperations, LinksAreNeverFollowed)
{
    TempDir dir, out;
    writeFile(dir.file("real/f.txt"), "keep");
    ASSERT_EQ(::symlink(dir.file("real/f.txt").c_str(), dir.file("lf").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("ld").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("real/f.txt").c_str(), dir.file("mv").c_str()), 0);

    // Copying a link copies nothing through it.
    FileOperationSummary s = run(requestOf(FileOperationKind::Copy, {dir.file("lf")}, out.path()));
    EXPECT_EQ(s.failed, 1u);
    EXPECT_FALSE(existsOnDisk(out.file("lf")));
    // Moving a link moves the link.
    s = run(requestOf(FileOperationKind::Move, {dir.file("mv")}, out.path()));
    EXPECT_EQ(s.done, 1u);
    EXPECT_TRUE(S_ISLNK(lstatOf(out.file("mv")).st_mode));
    // A link is never moved over the file it leads to.
    writeFile(dir.file("real/g.txt"), "gee");
    ASSERT_EQ(::symlink(dir.file("real/g.txt").c_str(), dir.file("g.txt").c_str()), 0);
    FileOperationHooks yesToAll;
    yesToAll.askOverwrite = [](const std::string&) { return OverwriteAnswer::YesToAll; };
    s = run(requestOf(FileOperationKind::Move, {dir.file("g.txt")}, dir.file("real")), yesToAll);
    EXPECT_EQ(s.errorLines, std::vector<std::string>{std::string(kOntoItself) + " g.txt"});
    EXPECT_EQ(readFile(dir.file("real/g.txt")), "gee");
    EXPECT_TRUE(S_ISREG(lstatOf(dir.file("real/g.txt")).st_mode));
    // Deleting links removes the links, to a file or to a directory alike.
    s = run(requestOf(FileOperationKind::Delete, {dir.file("lf"), dir.file("ld")}, ""));
    EXPECT_EQ(s.done, 2u);
    EXPECT_FALSE(existsOnDisk(dir.file("lf")));
    EXPECT_FALSE(existsOnDisk(dir.file("ld")));
    EXPECT_EQ(readFile(dir.file("real/f.txt")), "keep");
}

TEST(FileOperations, TheSourceListedFilesAndDirectoriesAreNeverOverwritten)
{
    TempDir dir, out;
    writeFile(dir.file("a.txt"), "alpha");
    writeFile(dir.file("sub/b.txt"), "beta");
    writeFile(dir.file("sub/a.txt"), "other a");
    ASSERT_EQ(::link(dir.file("a.txt").c_str(), out.file("a.txt").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("self").c_str()), 0);
    std::filesystem::create_directories(out.file("b.txt"));
    FileOperationHooks yesToAll;
    yesToAll.askOverwrite = [](const std::string&) { return OverwriteAnswer::YesToAll; };
    for (const std::string& dest : {dir.path(), dir.file("self"), dir.file("sub/.."), out.path()}) {
        SCOPED_TRACE(dest);
        for (auto kind : {FileOperationKind::Copy, FileOperationKind::Move}) {
            const FileOperationSummary s = run(requestOf(kind, {dir.file("a.txt")}, dest), yesToAll);
            EXPECT_EQ(s.failed, 1u);
            ASSERT_EQ(s.errorLines.size(), 1u);
            EXPECT_EQ(s.errorLines[0], std::string(kOntoItself) + " a.txt");
            EXPECT_EQ(readFile(dir.file("a.txt")), "alpha");
        }
    }
    // A directory as the target, and a target that is a later file of the list.
    const FileOperationSummary s = run(
        requestOf(FileOperationKind::Copy, {dir.file("sub/b.txt"), dir.file("a.txt"), dir.file("sub/a.txt")},
                  dir.file("sub")),
        yesToAll);
    EXPECT_EQ(s.failed, 3u);
    EXPECT_EQ(readFile(dir.file("sub/a.txt")), "other a");
    const FileOperationSummary d = run(requestOf(FileOperationKind::Delete, {dir.file("sub")}, ""));
    EXPECT_EQ(d.errorLines, std::vector<std::string>{std::string(kIsDirectory) + " sub"});
    const FileOperationSummary t = run(requestOf(FileOperationKind::Copy, {dir.file("sub/b.txt")}, out.path()));
    EXPECT_EQ(t.errorLines, std::vector<std::string>{std::string(kTargetIsDirectory) + " b.txt"});
    EXPECT_TRUE(std::filesystem::is_directory(out.file("b.txt")));
    EXPECT_EQ(readFile(dir.file("sub/b.txt")), "beta");
}

TEST(FileOperations, ExistingTargetsAreReplacedOnlyByTheAnswer)
{
    TempDir src, out;
    for (const char* n : {"1", "2", "3"}) {
        writeFile(src.file(n), std::string("new") + n);
        writeFile(out.file(n), std::string("old") + n);
    }
    const auto r = requestOf(FileOperationKind::Copy, {src.file("1"), src.file("2"), src.file("3")}, out.path());
    FileOperationSummary s = run(r); // no one answers: No
    EXPECT_EQ(s.text(FileOperationKind::Copy), "0 files copied, 0 failed, 3 skipped");
    EXPECT_EQ(readFile(out.file("1")), "old1");

    std::vector<OverwriteAnswer> answers = {OverwriteAnswer::Yes, OverwriteAnswer::NoToAll};
    size_t asked = 0;
    FileOperationHooks hooks;
    hooks.askOverwrite = [&](const std::string&) { return answers[asked++]; };
    s = run(r, hooks);
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(readFile(out.file("1")) + readFile(out.file("2")) + readFile(out.file("3")), "new1old2old3");
    answers = {OverwriteAnswer::No, OverwriteAnswer::YesToAll};
    asked = 0;
    writeFile(out.file("1"), "old1");
    s = run(r, hooks);
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(readFile(out.file("1")) + readFile(out.file("2")) + readFile(out.file("3")), "old1new2new3");

    // Through the run host: its question closed unanswered (Cancel) is No to All.
    for (const char* n : {"1", "2", "3"})
        writeFile(out.file(n), std::string("old") + n);
    test::FakeHost host;
    host.answers = {Answer::Yes};
    bool stop = false;
    s = run(r, hostFileOperationHooks(host, [&] { return stop; }));
    EXPECT_EQ(host.questions,
              (std::vector<std::string>{overwriteQuestion(out.file("1")), overwriteQuestion(out.file("2"))}));
    EXPECT_EQ(readFile(out.file("1")) + readFile(out.file("2")) + readFile(out.file("3")), "new1old2old3");
    EXPECT_EQ(s.text(FileOperationKind::Copy), "1 file copied, 0 failed, 2 skipped");
    stop = true;
    EXPECT_TRUE(run(r, hostFileOperationHooks(host, [&] { return stop; })).stopped);
}

TEST(FileOperations, MembersAreCopiedOutAndTheArchiveStaysAsItWas)
{
    TempDir dir, out, extract;
    const std::string archive = dir.file("a.zip");
    ASSERT_TRUE(test::writeArchive(archive, "zip", {{"d/m.txt", "member"}}));
    const std::string before = readFile(archive);
    FileOperationRequest r;
    r.files = {{"d/m.txt", archive}};
    r.destination = out.path();
    r.extractDir = extract.path();
    for (auto kind : {FileOperationKind::Move, FileOperationKind::Delete}) {
        r.operation = kind;
        (void)run(r);
    }
    EXPECT_EQ(readFile(out.file("m.txt")), "member");
    EXPECT_EQ(lstatOf(out.file("m.txt")).st_mode & kOwnerWrite, kOwnerWrite);
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(entriesIn(extract.path()), 0u);
}

} // namespace
} // namespace tw
