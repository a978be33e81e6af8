// tarnwick-cli --preview: the patch it prints, applied with "git apply -p1" in the start
// directory, makes every file what the same replace run makes it, while the preview itself
// leaves every file as it was.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliProcess;
using test::CliResult;
using test::readFile;
using test::runProgram;
using test::TempDir;
using test::writeFile;

namespace fs = std::filesystem;

// Every regular file below `root` with its content, by relative name.
std::map<std::string, std::string> snapshot(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path().string());
    return files;
}

// Text of random lines over a few words, with LF or CR LF ends, sometimes without a last
// line end, sometimes empty.
std::string randomText(std::mt19937& rng)
{
    static const char* const kWords[] = {"foo", "bar", "n7", "n19", "x", "fo", "o", "%%", "\"q\""};
    std::string text;
    const int lines = static_cast<int>(rng() % 30);
    for (int l = 0; l < lines; ++l) {
        const int words = static_cast<int>(rng() % 5);
        for (int w = 0; w < words; ++w)
            text += std::string(w ? " " : "") + kWords[rng() % std::size(kWords)];
        if (l + 1 < lines || rng() % 3 != 0)
            text += rng() % 3 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// The switches of one random replace: literal or pattern, with counters and file names.
std::vector<std::string> randomReplace(std::mt19937& rng)
{
    static const std::vector<std::vector<std::string>> kRuns = {
        {"/Sfoo", "/RBAR"},
        {"/Sfoo", "/R"},
        {"/So", "/Rooo"},
        {"/Sfoo", "/R<%%TWFILE%%>"},
        {"/i", "/SFOO", "/Rfoo foo"},
        {"/w", "/Sfo", "/RF"},
        {"/x", "/Sn+[0-9]", "/Rn%1>"},
        {"/x", "/Sn+[0-9]", "/Rn%1>007>"},
        {"/x", "/Sx\\r\\n", "/RX"},
        {"/x", "/Sx\\n", "/RX"},
        {"/x", "/Sbar\\n", "/RB\\nB\\n"},
        {"/x", "/So+[a-z ]", "/R%1<"},
    };
    return kRuns[rng() % kRuns.size()];
}

class PreviewCli : public test::PrivateDirsTest {};

TEST_F(PreviewCli, PatchAppliedByGitEqualsTheReplaceRun)
{
    static const char* const kNames[] = {"a.txt", "b c.txt", "it's.txt", "q\"x.txt", "back\\slash.txt",
                                         "sub/d.txt", "sub dir/e f.txt", "sub dir/g.txt"};
    std::mt19937 rng(20261210);
    for (int round = 0; round < 18; ++round) {
        TempDir previewed, replaced, io;
        for (const char* name : kNames)
            if (rng() % 3 != 0) {
                // Some files begin with a UTF-8 mark, which the scan leaves out of its offsets.
                const std::string text = (rng() % 4 == 0 ? "\xef\xbb\xbf" : "") + randomText(rng);
                writeFile(previewed.file(name), text);
                writeFile(replaced.file(name), text);
            }
        std::vector<std::string> args = randomReplace(rng);
        // Every third round: a script of two pairs, the second working on the first's output.
        const bool twoPairs = round % 3 == 2;
        std::string scriptPath;
        if (twoPairs) {
            scriptPath = io.file("run.tws");
            writeFile(scriptPath, "[Script for Tarnwick]\r\n[Search]\r\nfoo\r\n[Replace]\r\nbar o\r\n"
                                  "[Search]\r\nbar\r\n[Replace]\r\nfoo\r\n[End of Tarnwick Script]\r\n");
            args = {"/C", scriptPath, "/R"};
        }
        SCOPED_TRACE("round " + std::to_string(round) + ": " + args[args.size() - 2] + " " + args.back());
        const std::map<std::string, std::string> before = snapshot(previewed.path());
        auto run = [&](const TempDir& tree, bool preview) {
            std::vector<std::string> a = args;
            a.insert(a.end(), {"/P", tree.path() + "*.txt", "/d", "/n"});
            if (preview)
                a.push_back("--preview");
            return CliProcess(a).wait();
        };
        const CliResult p = run(previewed, true);
        ASSERT_NE(p.status, 2) << p.err;
        EXPECT_EQ(snapshot(previewed.path()), before) << "the preview changed a file";
        const CliResult r = run(replaced, false);
        ASSERT_NE(r.status, 2) << r.err;
        EXPECT_EQ(p.status, r.status);
        writeFile(io.file("patch"), p.out);
        if (!p.out.empty()) {
            const CliResult g = runProgram("/usr/bin/git", {"-C", previewed.path(), "apply", "-p1", io.file("patch")});
            ASSERT_EQ(g.status, 0) << g.err << p.out;
        }
        EXPECT_EQ(snapshot(previewed.path()), snapshot(replaced.path())) << p.out;
        // The closing line counts what the replace run replaced.
        const size_t at = r.out.find("Replaced ");
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string counts = r.out.substr(at + 9, r.out.find(" file(s)", at) - at - 9);
        EXPECT_TRUE(p.err.ends_with("Preview: " + counts + " file(s) would be replaced\n")) << p.err;
    }
}

// What a preview refuses, and what it leaves out: a run without a replace; a binary file
// gets the one line git writes for it; no output file, backup or undo script is written.
TEST_F(PreviewCli, RefusesSearchesAndWritesOnlyThePatch)
{
    TempDir tree, bak;
    writeFile(tree.file("a.txt"), "foo\n");
    writeFile(tree.file("b.bin"), std::string("foo\0\1\2", 6));
    CliResult r = CliProcess({"/Sfoo", "/P", tree.path() + "*", "--preview"}).wait();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--preview needs a replace"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    r = CliProcess({"/Sfoo", "/Rbar", "/P", tree.path() + "*", "/O", tree.file("out.log"), "/B", bak.path(), "--preview"})
            .wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "diff --git a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n@@ -1 +1 @@\n-foo\n+bar\n"
                     "diff --git a/b.bin b/b.bin\nBinary files a/b.bin and b/b.bin differ\n");
    EXPECT_FALSE(fs::exists(tree.file("out.log")));
    EXPECT_TRUE(fs::is_empty(bak.path()));
    EXPECT_EQ(readFile(tree.file("a.txt")), "foo\n");

    r = CliProcess({"/Snothing", "/Rbar", "/P", tree.path() + "*", "--preview"}).wait();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.ends_with("Preview: 0 occurrences in 0 file(s) would be replaced\n")) << r.err;
}

} // namespace
} // namespace tw
