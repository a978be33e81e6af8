// tarnwick-cli given careless or hostile command lines and outputs: shell-expanded masks,
// empty values typed the shell way, paths of separators only, an output file or results page
// that is one of the searched files or cannot be written, output that goes nowhere (the null
// device, a pipe nobody reads), names with control bytes, file tokens in any case and backup
// directories that are the path in disguise.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliProcess;
using test::CliResult;
using test::readFile;
using test::TempDir;
using test::writeFile;

class CliSafety : public test::PrivateDirsTest {
protected:
    CliResult run(const std::vector<std::string>& args) { return CliProcess(args).wait(); }
    TempDir m_tree;
};

TEST_F(CliSafety, RefusedCommandLinesChangeNothing)
{
    writeFile(m_tree.file("sub/a.txt"), "foo\n");
    writeFile(m_tree.file("sub/rb.txt"), "foo\n");
    const std::string sub = m_tree.path() + "sub/";
    struct Case {
        std::vector<std::string> args;
        std::string message; // on standard error
    };
    const std::vector<Case> cases = {
        // What the shell makes of /P sub/*.txt: the second name is no switch.
        {{"/Sfoo", "/P", sub + "a.txt", sub + "rb.txt", "/n"}, "Unexpected argument \"" + sub + "rb.txt\""},
        {{"/Sfoo", "/RX", "/P", sub + "*.txt", "stray", "/n"}, "quote masks"},
        {{"/Sfoo", "/RX", "/P", ";;;", "/n"}, "Please enter a valid path!"},
        {{"/Sfoo", "/RX", "/P", ";", "/n"}, "Please enter a valid mask!"},
        {{}, "Usage: tarnwick-cli"},
        {{"/Sfoo", "/RX", "/P", sub + "*.txt", "/n", "/B", m_tree.path() + "./sub/../sub"},
         "Please select a backup directory different than the one"},
        {{"/Sfoo", "/RX", "/P", m_tree.path() + "*.txt", "/d", "/n", "/B", sub + "bak"},
         "The backup directory lies inside the directory being processed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE((r.err + r.out).find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(sub + "a.txt"), "foo\n");
        EXPECT_EQ(readFile(sub + "rb.txt"), "foo\n");
    }
}

TEST_F(CliSafety, ABareSwitchIsAnEmptyValueAndSlashesInsideValuesAreOrdinary)
{
    // "/R" as the shell passes /R"": an empty replace text, and the path after it counts.
    writeFile(m_tree.file("rb/x.c"), "keep foo here\n");
    const CliResult r = run({"/Sfoo", "/R", "/P", m_tree.path() + "rb/x.c", "/n"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_tree.file("rb/x.c")), "keep  here\n");
    // What the shell makes of /R"" /P"/dir/*.c": the glued path is the switch /P.
    writeFile(m_tree.file("rb/y.c"), "a foo b\n");
    const CliResult g = run({"/Sfoo", "/R", "/P" + m_tree.path() + "rb/*.c", "/n"});
    EXPECT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(readFile(m_tree.file("rb/y.c")), "a  b\n");
    // A value that is a path with "/r..." and "/s..." parts stays one value.
    writeFile(m_tree.file("src/rb/sx.c"), "bar\n");
    const CliResult s = run({"/Sbar", "/P", m_tree.path() + "src/rb/sx.c"});
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.out.find("Searched 1 file(s), found 1 occurrences in 1 file(s)"), std::string::npos) << s.out;
}

TEST_F(CliSafety, AnOutputFileThatIsASearchedFileIsNeverTruncatedAndTheResultsStillArrive)
{
    writeFile(m_tree.file("a.txt"), "foo\n");
    writeFile(m_tree.file("b.txt"), "foo bar\n");
    const CliResult r = run({"/Sfoo", "/P", m_tree.path() + "*.*", "/O", m_tree.file("b.txt")});
    EXPECT_EQ(readFile(m_tree.file("b.txt")), "foo bar\n");
    EXPECT_NE(r.out.find("Error writing to output file b.txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("found 2 occurrences in 2 file(s)"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 2);
}

TEST_F(CliSafety, AResultsPageThatWouldReplaceARunFileOrTheOutputFileRefusesTheCommand)
{
    writeFile(m_tree.file("sub/b.txt"), "foo bar\n");
    TempDir elsewhere;
    // Another name of b.txt, outside the tree.
    ASSERT_EQ(::link(m_tree.file("sub/b.txt").c_str(), elsewhere.file("b-link.txt").c_str()), 0);
    const std::string all = m_tree.path() + "*.*";
    struct Case {
        std::vector<std::string> args;
        std::string named; // the name in the message
    };
    const std::vector<Case> cases = {
        {{"/Sfoo", "/P", all, "/d", "--html", m_tree.file("sub/b.txt")}, "b.txt"},
        {{"/Sfoo", "/P", all, "/d", "--threads", "4", "--html", m_tree.file("sub/../sub/b.txt")}, "b.txt"},
        {{"/Sfoo", "/Rbar", "/P", all, "/d", "/n", "--html", elsewhere.file("b-link.txt")}, "b-link.txt"},
        {{"/P", all, "/d", "--threads", "4", "--html", m_tree.file("a.txt")}, "a.txt"},
        // The output file and the page are one file, existing or not.
        {{"/Sfoo", "/P", all, "/O", elsewhere.file("out.txt"), "--html", elsewhere.path() + "./out.txt"}, "out.txt"},
        {{"/Sfoo", "/Rbar", "/P", all, "/n", "/O", elsewhere.file("b-link.txt"), "--html",
          elsewhere.file("b-link.txt")},
         "b-link.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        writeFile(m_tree.file("a.txt"), "foo\n");
        writeFile(m_tree.file("sub/b.txt"), "foo bar\n"); // keeps its inode, so the link stays
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("Error writing to output file " + c.named), std::string::npos) << r.err;
        // Nothing was written: no results, no page, no replacement.
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readFile(m_tree.file("a.txt")), "foo\n");
        EXPECT_EQ(readFile(m_tree.file("sub/b.txt")), "foo bar\n");
        EXPECT_FALSE(std::filesystem::exists(elsewhere.file("out.txt")));
    }
}

TEST_F(CliSafety, TheNullDeviceTakesTheOutputAndThePage)
{
    writeFile(m_tree.file("a.txt"), "foo\n");
    const CliResult r = run({"/Sfoo", "/P", m_tree.path() + "*.txt", "/O", "/dev/null", "--html", "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    // Any other device or a FIFO is still refused, and never waited on.
    ASSERT_EQ(::mkfifo(m_tree.file("fifo").c_str(), 0600), 0);
    for (const std::string& out : {std::string("/dev/zero"), m_tree.file("fifo")}) {
        const CliResult refused = run({"/Sfoo", "/P", m_tree.path() + "*.txt", "/O", out});
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.out.find("Error writing to output file"), std::string::npos) << refused.out;
    }
}

TEST_F(CliSafety, AClosedOutputPipeStopsTheRunAndEveryFileIsWholeOrUntouched)
{
    // Far more results than the output's buffer and the pipe hold, so the pipe breaks early
    // in the run.
    const std::string line = std::string(60, 'x') + " foo\n";
    std::string content;
    for (int i = 0; i < 30; ++i)
        content += line;
    std::string replaced = content;
    for (size_t p = 0; (p = replaced.find("foo", p)) != std::string::npos; p += 3)
        replaced.replace(p, 3, "bar");
    const int files = 200;
    for (int i = 0; i < files; ++i)
        writeFile(m_tree.file("f" + std::to_string(1000 + i) + ".txt"), content);
    const std::string all = m_tree.path() + "*.txt";
    for (const char* threads : {"1", "4"}) {
        SCOPED_TRACE(threads);
        const CliResult search = test::runWithClosedOutput({"/Sfoo", "/P", all, "--threads", threads});
        EXPECT_EQ(search.status, 2);
        EXPECT_NE(search.err.find("Error writing to output file standard output"), std::string::npos) << search.err;
    }
    // A replace run whose reader goes after one line stops as Stop does: the files it
    // committed are replaced whole, the rest are untouched, and nothing is left to recover.
    for (const char* json : {"", "--json"}) {
        SCOPED_TRACE(json);
        std::vector<std::string> args{"/Sfoo", "/Rbar", "/P", all, "/n"};
        if (*json)
            args.emplace_back(json);
        const CliResult replace = test::runIntoFirstLineReader(args);
        EXPECT_EQ(replace.status, 2) << replace.err;
        EXPECT_NE(replace.out.find('\n'), std::string::npos);
        EXPECT_NE(replace.err.find("Error writing to output file standard output"), std::string::npos) << replace.err;
        int untouched = 0;
        for (int i = 0; i < files; ++i) {
            const std::string now = readFile(m_tree.file("f" + std::to_string(1000 + i) + ".txt"));
            EXPECT_TRUE(now == content || now == replaced) << i;
            untouched += now == content;
            writeFile(m_tree.file("f" + std::to_string(1000 + i) + ".txt"), content);
        }
        EXPECT_GT(untouched, 0);
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_tree.path()))
            ++entries;
        EXPECT_EQ(entries, static_cast<size_t>(files));
        const CliResult recover = run({"--recover"});
        EXPECT_EQ(recover.status, 0);
        EXPECT_EQ(recover.err, "No interrupted rewrite is pending.\n");
    }
}

TEST_F(CliSafety, UnwritableOutputIsAFailure)
{
    writeFile(m_tree.file("a.txt"), "foo\n");
    for (const char* out : {"/dev/full", "/proc/version"}) {
        SCOPED_TRACE(out);
        const CliResult r = run({"/Sfoo", "/P", m_tree.path() + "*.txt", "/O", out});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("Error writing to output file"), std::string::npos) << r.err;
    }
    // Standard output itself on a full device.
    const CliResult full = test::runProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", TW_CLI_PATH, "/Sfoo", "/P", m_tree.path() + "*.txt"});
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("Error writing to output file standard output"), std::string::npos) << full.err;
}

TEST_F(CliSafety, ControlBytesInNamesNeverReachTheTerminalAndNeverBreakTheMarkers)
{
    const std::string esc = "esc\x1b[31mred.txt", marker = "m\x01\x02x.txt";
    writeFile(m_tree.file(esc), "foo\n");
    writeFile(m_tree.file(marker), "foo\n");
    const CliResult r = run({"/Sfoo", "/P", m_tree.path() + "*.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x01'), std::string::npos);
    EXPECT_NE(r.out.find("Processing file : " + m_tree.path() + "esc?[31mred.txt\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Processing file : " + m_tree.path() + "m??x.txt\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("found 2 occurrences in 2 file(s)"), std::string::npos);
}

TEST_F(CliSafety, FileTokensWorkInAnyCase)
{
    writeFile(m_tree.file("a.txt"), "name: X\n");
    const CliResult r = run({"/SX", "/R%%twfile%% in %%TwPath%%", "/P", m_tree.path() + "*.txt", "/n"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "name: a.txt in " + m_tree.path() + "\n");
}

} // namespace
} // namespace tw
