// tarnwick-cli under hostile conditions: links and writers that change the tree while a
// replace commits, a second run at the same time, crashes in the middle of a rewrite, a
// held lock and links in the backup directory. Nothing may be lost, and no failure may be
// reported as success.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliProcess;
using test::CliResult;
using test::readFile;
using test::TempDir;
using test::waitForFile;
using test::writeFile;

class DataSafety : public test::PrivateDirsTest {
protected:
    std::string dataDir() const { return m_data.path() + "tarnwick/"; }
    std::string flag() const { return m_io.file("pause.flag"); }
    // A replace run that stops at its first copy-back until the flag file is removed.
    std::unique_ptr<CliProcess> startPausedReplace(const std::vector<std::string>& args)
    {
        auto p = std::make_unique<CliProcess>(args, "", std::vector<std::pair<std::string, std::string>>{
                                                            {"TW_TEST_PAUSE_COPYBACK", flag()}});
        EXPECT_TRUE(waitForFile(flag())) << "the run never reached its copy-back";
        return p;
    }
    static std::string bigText()
    {
        std::string s;
        for (int i = 0; i < 30000; ++i)
            s += "line " + std::to_string(i) + " with word\n";
        return s;
    }
    TempDir m_tree, m_io, m_outside;
};

TEST_F(DataSafety, ChangesMadeToAFileWhileTheBatchCommitsAreNeverOverwritten)
{
    // While a.txt is being rewritten, b.txt is swapped for a link to a file outside the
    // tree, or appended to by another program. b.txt must be left alone and reported.
    enum class Change { LinkSwap, Append };
    for (const Change change : {Change::LinkSwap, Change::Append}) {
        SCOPED_TRACE(change == Change::LinkSwap ? "link swapped in" : "appended meanwhile");
        TempDir tree;
        const std::string victim = m_outside.file("victim");
        writeFile(victim, "precious word\n");
        writeFile(tree.file("a.txt"), bigText());
        writeFile(tree.file("b.txt"), "small word\n");
        auto run = startPausedReplace({"/Sword", "/RWORD", "/P", tree.path() + "*.txt", "/n"});
        if (change == Change::LinkSwap) {
            std::filesystem::remove(tree.file("b.txt"));
            std::filesystem::create_symlink(victim, tree.file("b.txt"));
        } else {
            std::FILE* f = std::fopen(tree.file("b.txt").c_str(), "a");
            std::fputs("appended word\n", f);
            std::fclose(f);
        }
        std::filesystem::remove(flag());
        const CliResult r = run->wait();
        EXPECT_EQ(readFile(victim), "precious word\n");
        if (change == Change::Append) {
            EXPECT_EQ(readFile(tree.file("b.txt")), "small word\nappended word\n");
        }
        EXPECT_NE(r.out.find("Error writing (another app may own it) file b.txt"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Replaced 30000 occurrences in 1 file(s)"), std::string::npos) << r.out;
        EXPECT_EQ(r.status, 2);
    }
}

TEST_F(DataSafety, TwoRunsAtOnceNeverLoseAChangeTheyReported)
{
    // Run A appends "a" after each "x", run B appends "b"; a file that a run did not
    // report as failed must carry that run's change.
    const int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        writeFile(m_tree.file(name), "x\n");
    }
    CliProcess a({"/Sx", "/Rxa", "/P", m_tree.path() + "*.txt", "/n"});
    CliProcess b({"/Sx", "/Rxb", "/P", m_tree.path() + "*.txt", "/n"});
    const CliResult ra = a.wait(), rb = b.wait();
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        const std::string content = readFile(m_tree.file(name));
        const std::string error = std::string("file ") + name + "\n";
        if (ra.out.find(error) == std::string::npos) {
            EXPECT_NE(content.find('a'), std::string::npos) << name << " lost run A's change: " << content;
        }
        if (rb.out.find(error) == std::string::npos) {
            EXPECT_NE(content.find('b'), std::string::npos) << name << " lost run B's change: " << content;
        }
    }
}

TEST_F(DataSafety, AfterACrashTheFileAndItsCopyAreKeptUntilRecoverPutsItBack)
{
    for (const bool withBackup : {true, false}) {
        SCOPED_TRACE(withBackup ? "backup as the copy" : "safety copy");
        TempDir tree, data;
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        const std::string old = bigText();
        writeFile(tree.file("big.txt"), old);
        const std::string bak = tree.path() + "../" + std::filesystem::path(tree.path()).parent_path().filename().string() + "-bak/";
        std::vector<std::string> args{"/Sword", "/RWORD", "/P", tree.path() + "*.txt", "/n"};
        if (withBackup)
            args.insert(args.end(), {"/B", bak});
        startPausedReplace(args)->kill();
        std::filesystem::remove(flag());
        ASSERT_NE(readFile(tree.file("big.txt")), old) << "the copy-back had begun";
        if (withBackup) {
            // The undo line was on disk before the copy-back began.
            const std::string undo = readFile(data.path() + "tarnwick/twundo.sh");
            EXPECT_NE(undo.find("cp -p -- '" + bak + "big.txt' '" + tree.file("big.txt") + "'"), std::string::npos)
                << undo;
        }

        // Another replace neither rewrites the torn file nor overwrites its backup.
        const CliResult again = CliProcess(args).wait();
        EXPECT_NE(again.err.find("--recover"), std::string::npos) << again.err;
        EXPECT_NE(again.out.find("waits for --recover or --discard-recovery: big.txt"), std::string::npos) << again.out;
        EXPECT_EQ(again.status, 2);
        if (withBackup) {
            EXPECT_EQ(readFile(bak + "big.txt"), old);
        }

        const CliResult rec = CliProcess({"--recover"}).wait();
        EXPECT_EQ(rec.status, 0) << rec.err;
        EXPECT_NE(rec.err.find("Restored " + tree.file("big.txt")), std::string::npos) << rec.err;
        EXPECT_EQ(readFile(tree.file("big.txt")), old);
        const CliResult after = CliProcess({"/Sword", "/P", tree.path() + "*.none"}).wait();
        EXPECT_EQ(after.err.find("rewriting the file"), std::string::npos) << after.err;
        std::vector<std::string> safety;
        if (std::filesystem::exists(data.path() + "tarnwick/safety"))
            for (const auto& e : std::filesystem::directory_iterator(data.path() + "tarnwick/safety"))
                safety.push_back(e.path().string());
        EXPECT_TRUE(safety.empty()) << safety.front();
        std::filesystem::remove_all(bak);
    }
}

TEST_F(DataSafety, DiscardRecoveryForgetsTheEntriesAndDeletesTheSafetyCopies)
{
    const std::string old = bigText();
    writeFile(m_tree.file("big.txt"), old);
    startPausedReplace({"/Sword", "/RWORD", "/P", m_tree.path() + "*.txt", "/n"})->kill();
    const std::string torn = readFile(m_tree.file("big.txt"));
    const CliResult r = CliProcess({"--discard-recovery"}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(m_tree.file("big.txt")), std::string::npos) << r.err;
    EXPECT_EQ(readFile(m_tree.file("big.txt")), torn) << "discarding leaves the file as it is";
    EXPECT_TRUE(std::filesystem::is_empty(dataDir() + "safety"));
    EXPECT_EQ(CliProcess({"/Sword", "/P", m_tree.path() + "*.none"}).wait().err.find("rewriting"), std::string::npos);
}

TEST_F(DataSafety, AHeldRecoveryLockDelaysOnlyReplaceAndThenRefusesIt)
{
    writeFile(m_tree.file("a.txt"), "word\n");
    std::filesystem::create_directories(dataDir());
    const int fd = ::open((dataDir() + "recovery.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const CliResult search = CliProcess({"/Sword", "/P", m_tree.path() + "*.txt"}).wait();
    EXPECT_EQ(search.status, 0) << search.err;
    const CliResult replace = CliProcess({"/Sword", "/RWORD", "/P", m_tree.path() + "*.txt", "/n"}).wait();
    ::close(fd);
    EXPECT_EQ(replace.status, 2);
    EXPECT_NE(replace.err.find("Waiting for another Tarnwick run to finish writing files"), std::string::npos)
        << replace.err;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "word\n");
}

// Runs tarnwick-cli so that file permissions hold for it: as root, without the
// capabilities that override them.
CliResult runWithPermissions(const std::vector<std::string>& args)
{
    if (::geteuid() != 0)
        return test::runProgram(TW_CLI_PATH, args);
    std::vector<std::string> all{"--bounding-set=-dac_override,-dac_read_search,-fowner", "--", TW_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    return test::runProgram("/usr/bin/setpriv", all);
}

TEST_F(DataSafety, AReadOnlyDataDirectoryIsNamedAsTheCause)
{
    enum class Place { NewDataDirectory, FirstReplace, AfterEarlierRuns };
    for (const Place place : {Place::NewDataDirectory, Place::FirstReplace, Place::AfterEarlierRuns}) {
        SCOPED_TRACE(static_cast<int>(place));
        TempDir tree, data;
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        writeFile(tree.file("a.txt"), "word\n");
        const std::string dir = data.path() + "tarnwick/";
        std::string readOnly = data.path();
        if (place != Place::NewDataDirectory) {
            readOnly = dir;
            std::filesystem::create_directories(dir + (place == Place::AfterEarlierRuns ? "safety" : ""));
            if (place == Place::AfterEarlierRuns)
                writeFile(dir + "recovery.lock", "");
        }
        ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);
        const CliResult r = runWithPermissions({"/Sword", "/RWORD", "/P", tree.path() + "*.txt", "/n"});
        ::chmod(readOnly.c_str(), 0755);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(readFile(tree.file("a.txt")), "word\n");
        EXPECT_NE(r.err.find("The data directory " + dir), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Permission denied); nothing was replaced"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Another Tarnwick run"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("another app may own it"), std::string::npos) << r.out;
    }
}

TEST_F(DataSafety, ALinkInsideTheBackupDirectoryIsNeverFollowed)
{
    writeFile(m_tree.file("sub/x.txt"), "word\n");
    writeFile(m_tree.file("y.txt"), "word\n");
    const std::string bak = m_io.file("bak/");
    std::filesystem::create_directories(bak);
    std::filesystem::create_directory_symlink(m_outside.path(), bak + "sub");
    writeFile(m_outside.file("x.txt"), "outside\n");
    const CliResult r = CliProcess({"/Sword", "/RWORD", "/P", m_tree.path() + "*.txt", "/d", "/n", "/B", bak}).wait();
    EXPECT_EQ(readFile(m_outside.file("x.txt")), "outside\n");
    EXPECT_EQ(readFile(m_tree.file("sub/x.txt")), "word\n") << "without its backup the file stays unchanged";
    EXPECT_NE(r.out.find("Error creating/writing file to backup directory x.txt"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(m_tree.file("y.txt")), "WORD\n");
    EXPECT_EQ(readFile(bak + "y.txt"), "word\n");
    EXPECT_EQ(r.status, 2);
}

// Every occurrence of `from` replaced by `to`, as a whole-file reference.
std::string replacedAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(DataSafety, RandomKillsAndWriteFailuresLeaveEveryFileOriginalReplacedOrRecoverable)
{
    // Each round generates a tree of varied file sizes and runs a replace that is killed at
    // a random moment, or whose writes start failing beyond a random file size (as on a
    // full disk). Afterwards, once --recover has run, every file holds either its original
    // or its fully replaced content; with backups, the undo script puts back every original.
    std::mt19937 rng(20261208);
    const int kRounds = 16;
    for (int round = 0; round < kRounds; ++round) {
        const bool withBackup = round % 2 == 1;
        const bool kill = round % 4 < 2;
        SCOPED_TRACE("round " + std::to_string(round) + (kill ? " kill" : " write failure") +
                     (withBackup ? " with backup" : ""));
        TempDir tree, data, bakParent;
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        std::vector<std::pair<std::string, std::string>> files;
        const int count = 8 + static_cast<int>(rng() % 20);
        for (int i = 0; i < count; ++i) {
            static const size_t kSizes[] = {0, 10, 5000, 150000, 1500000};
            const size_t size = kSizes[rng() % 5];
            std::string text;
            while (text.size() < size)
                text += (rng() % 3 == 0) ? "a word " : "plain text\n";
            const std::string name = (i % 3 == 0 ? "sub/" : "") + std::string("f") + std::to_string(i) + ".txt";
            writeFile(tree.file(name), text);
            files.emplace_back(name, text);
        }
        std::vector<std::string> args{"/Sword", "/RWORDS", "/P", tree.path() + "*.txt", "/d", "/n"};
        if (withBackup)
            args.insert(args.end(), {"/B", bakParent.file("bak/")});
        if (kill) {
            CliProcess run(args);
            ::usleep(static_cast<useconds_t>(rng() % 150000));
            run.kill();
        } else {
            // Writes beyond the limit fail with EFBIG instead of killing the process.
            const std::string kilobytes = std::to_string(1 + rng() % 2000);
            std::vector<std::string> limited{"-c", "ulimit -f " + kilobytes + " && trap '' XFSZ && exec \"$0\" \"$@\"",
                                             TW_CLI_PATH};
            limited.insert(limited.end(), args.begin(), args.end());
            const CliResult r = test::runProgram("/bin/sh", limited);
            EXPECT_NE(r.status, -1) << r.err;
        }
        const CliResult rec = CliProcess({"--recover"}).wait();
        EXPECT_EQ(rec.status, 0) << rec.err;
        for (const auto& [name, original] : files) {
            const std::string now = readFile(tree.file(name));
            EXPECT_TRUE(now == original || now == replacedAll(original, "word", "WORDS"))
                << name << ": " << now.size() << " bytes, original " << original.size();
        }
        if (withBackup && std::filesystem::exists(data.path() + "tarnwick/twundo.sh")) {
            ASSERT_EQ(std::system(("sh '" + data.path() + "tarnwick/twundo.sh'").c_str()), 0);
            for (const auto& [name, original] : files)
                EXPECT_EQ(readFile(tree.file(name)), original) << name << " after the undo script";
        }
    }
}

} // namespace
} // namespace tw
