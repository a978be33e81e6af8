// The undo history through tarnwick-cli: --undo gives back what a replace changed, in
// place, and only where the file still holds what the run wrote; --undo-list; the space
// limit; a kill in the middle of a replace.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

class UndoCli : public test::PrivateDirsTest {
protected:
    std::string dataDir() const { return m_data.path() + "tarnwick/"; }
    CliResult run(const std::vector<std::string>& args) { return CliProcess(args).wait(); }
    CliResult replace(const std::string& from, const std::string& to, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args{"/S" + from, "/R" + to, "/P", m_tree.path() + "*.txt", "/n"};
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    }
    void setUndoSpaceMb(int mb)
    {
        const std::string dir = m_config.path() + "Pellworth Software Inc./";
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "TW32.conf") << "[Options]\nUndo%20Space=" << mb << "\n";
    }
    static ino_t inodeOf(const std::string& path)
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }
    TempDir m_tree;
};

// Random contents, several runs over overlapping files, with and without a backup
// directory: each --undo gives back exactly the contents before its run, in the same
// inodes, newest run first; the list says which runs were taken back.
TEST_F(UndoCli, RunsAreTakenBackInReverseOrderByteForByte)
{
    std::mt19937 rng(11);
    std::vector<std::string> names;
    std::vector<std::string> original;
    for (int i = 0; i < 12; ++i) {
        std::string text;
        const int lines = 1 + int(rng() % 400);
        for (int l = 0; l < lines; ++l)
            text += (rng() % 3 ? "word " : "other ") + std::to_string(rng() % 1000) + (rng() % 5 ? "\n" : "\r\n");
        names.push_back(m_tree.file("f" + std::to_string(i) + ".txt"));
        writeFile(names.back(), text);
        ::chmod(names.back().c_str(), i % 4 == 0 ? 0444 : 0640);
        original.push_back(text);
    }
    std::vector<ino_t> inodes;
    for (const std::string& n : names)
        inodes.push_back(inodeOf(n));
    std::vector<std::vector<std::string>> before{original};
    TempDir backup;
    const std::vector<std::vector<std::string>> runArgs{{}, {"/B", backup.path() + "b"}, {}};
    const char* pairs[3][2] = {{"word", "WORD-longer"}, {"other", "o"}, {"WORD-longer 1", "x"}};
    for (int r = 0; r < 3; ++r) {
        const CliResult res = replace(pairs[r][0], pairs[r][1], runArgs[r]);
        ASSERT_EQ(res.status, 0) << res.out << res.err;
        EXPECT_EQ(res.out.find("Not kept"), std::string::npos) << res.out;
        std::vector<std::string> now;
        for (const std::string& n : names)
            now.push_back(readFile(n));
        before.push_back(now);
    }
    const CliResult list = run({"--undo-list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("\"WORD-longer 1\" -> \"x\""), std::string::npos) << list.out;
    EXPECT_LT(list.out.find("-> \"x\""), list.out.find("-> \"o\"")) << "newest first: " << list.out;
    for (int r = 3; r >= 1; --r) {
        const CliResult undo = run({"--undo"});
        EXPECT_EQ(undo.status, 0) << undo.out << undo.err;
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(readFile(names[i]), before[r - 1][i]) << "run " << r << " file " << i;
            EXPECT_EQ(inodeOf(names[i]), inodes[i]);
            // Exactly the files the run changed are named.
            const bool changed = before[r][i] != before[r - 1][i];
            EXPECT_EQ(undo.out.find("Restored " + names[i] + "\n") != std::string::npos, changed) << undo.out;
        }
    }
    struct stat st {};
    ASSERT_EQ(::stat(names[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    const CliResult none = run({"--undo"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("Nothing to undo."), std::string::npos);
    const CliResult after = run({"--undo-list"});
    EXPECT_NE(after.out.find("taken back"), std::string::npos) << after.out;
}

// A file changed after the replace (same size, other bytes; or another file put under its
// name) is named and left alone; the others are restored; exit status 2.
TEST_F(UndoCli, FileChangedSinceTheReplaceIsLeftAlone)
{
    writeFile(m_tree.file("a.txt"), "one word\n");
    writeFile(m_tree.file("b.txt"), "two word\n");
    writeFile(m_tree.file("c.txt"), "three word\n");
    ASSERT_EQ(replace("word", "WORD").status, 0);
    writeFile(m_tree.file("a.txt"), "one WORX\n"); // same size, written in place
    writeFile(m_tree.file("b.new"), "two WORD\n"); // same content, another file
    std::filesystem::rename(m_tree.file("b.new"), m_tree.file("b.txt"));
    const CliResult undo = run({"--undo"});
    EXPECT_EQ(undo.status, 2);
    EXPECT_NE(undo.out.find("Not restored, changed since the replace: " + m_tree.file("a.txt")), std::string::npos)
        << undo.out;
    EXPECT_NE(undo.out.find("Not restored, changed since the replace: " + m_tree.file("b.txt")), std::string::npos);
    EXPECT_NE(undo.out.find("Restored 1 of 3 file(s)"), std::string::npos) << undo.out;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "one WORX\n");
    EXPECT_EQ(readFile(m_tree.file("b.txt")), "two WORD\n");
    EXPECT_EQ(readFile(m_tree.file("c.txt")), "three word\n");
}

// "Undo Space" 1 MiB: a run whose file does not fit says so and keeps nothing of it; a
// later run drops the oldest runs to make room; 0 keeps nothing at all.
TEST_F(UndoCli, SpaceLimitDropsTheOldestRun)
{
    setUndoSpaceMb(1);
    const std::string big(700 * 1024, 'w');
    writeFile(m_tree.file("a.txt"), "x" + big);
    ASSERT_EQ(replace("x", "y").status, 0);  // run 1 keeps 700 KiB
    // A drop that a crash cut short left copies without their record; a file of no run's
    // name is not the history's to remove.
    const std::string undoDir = dataDir() + "undo/";
    writeFile(undoDir + "r000090.s1", big);
    writeFile(undoDir + "notes.txt", "mine\n");
    ASSERT_EQ(replace("y", "z").status, 0);  // run 2 needs the room: run 1 goes
    // Run 1's record is gone when the program ends; its copies and the orphan go in a
    // process of their own soon after. The new run is numbered above every name it found,
    // so no copy still to be removed shares its name.
    std::vector<std::string> left;
    for (int tries = 0; tries < 3000; ++tries, ::usleep(10000)) {
        left.clear();
        for (const auto& e : std::filesystem::directory_iterator(undoDir))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_TRUE(std::find(left.begin(), left.end(), "r000001.rec") == left.end());
        if (left.size() <= 3)
            break;
    }
    EXPECT_EQ(left, (std::vector<std::string>{"notes.txt", "r000091.rec", "r000091.s1"}))
        << ::testing::PrintToString(left);
    writeFile(m_tree.file("huge.txt"), "q" + big + big);
    const CliResult r3 = replace("q", "Q");  // 1.4 MiB never fits
    EXPECT_NE(r3.out.find("Not kept for undo: " + m_tree.file("huge.txt")), std::string::npos) << r3.out;
    const CliResult list = run({"--undo-list"});
    EXPECT_EQ(list.out.find("\"x\" -> \"y\""), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\"y\" -> \"z\""), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("\"q\" -> \"Q\""), std::string::npos) << "run 3 kept nothing: " << list.out;
    EXPECT_EQ(run({"--undo"}).status, 0);
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "y" + big);
    EXPECT_EQ(run({"--undo"}).status, 1);

    setUndoSpaceMb(0);
    ASSERT_EQ(replace("Q", "q").status, 0);
    EXPECT_EQ(run({"--undo-list"}).out.find("\"Q\" -> \"q\""), std::string::npos);
}

// kill -9 in the middle of a copy-back, then --recover, then --undo: the interrupted batch
// has no complete record, so nothing of it is written; the file stays as --recover left it.
TEST_F(UndoCli, KillDuringReplaceThenRecoverThenUndo)
{
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += "line " + std::to_string(i) + " with word\n";
    writeFile(m_tree.file("a.txt"), text);
    writeFile(m_tree.file("b.txt"), "small word\n");
    ASSERT_EQ(replace("word", "WORD").status, 0); // a complete run before
    TempDir io;
    const std::string flag = io.file("pause.flag");
    CliProcess paused({"/SWORD", "/Rmot", "/P", m_tree.path() + "*.txt", "/n"}, "",
                      {{"TW_TEST_PAUSE_COPYBACK", flag}});
    ASSERT_TRUE(waitForFile(flag));
    paused.kill();
    EXPECT_EQ(run({"--recover"}).status, 0);
    std::string firstRun = text;
    for (size_t at = 0; (at = firstRun.find("word", at)) != std::string::npos;)
        firstRun.replace(at, 4, "WORD");
    EXPECT_EQ(readFile(m_tree.file("a.txt")), firstRun);
    const CliResult undo = run({"--undo"}); // the killed run: nothing complete
    EXPECT_EQ(undo.status, 2) << undo.out;
    EXPECT_NE(undo.out.find("Restored 0 of"), std::string::npos) << undo.out;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), firstRun);
    const CliResult second = run({"--undo"}); // the run before is whole
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), text);
    EXPECT_EQ(readFile(m_tree.file("b.txt")), "small word\n");
}

// Damaged records are skipped with a message and never lead to a write.
TEST_F(UndoCli, DamagedRecordsWriteNothing)
{
    writeFile(m_tree.file("a.txt"), "one word\n");
    ASSERT_EQ(replace("word", "WORD").status, 0);
    const std::string undoDir = dataDir() + "undo/";
    std::string record;
    for (const auto& e : std::filesystem::directory_iterator(undoDir))
        if (e.path().extension() == ".rec")
            record = e.path();
    ASSERT_FALSE(record.empty());
    const std::string good = readFile(record);
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        std::string bad = good;
        const int edits = 1 + int(rng() % 3);
        for (int e = 0; e < edits; ++e)
            bad[rng() % bad.size()] = "0a/\t\n%x9"[rng() % 8];
        writeFile(record, bad);
        writeFile(m_tree.file("a.txt"), "one WORD\n");
        const CliResult undo = run({"--undo"});
        const std::string now = readFile(m_tree.file("a.txt"));
        EXPECT_TRUE(now == "one WORD\n" || now == "one word\n") << now;
        if (now == "one word\n") {
            EXPECT_EQ(undo.status, 0) << bad;
        }
    }
}

} // namespace
} // namespace tw
