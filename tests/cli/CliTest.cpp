// End-to-end tests of tarnwick-cli: command text, standard output, standard error and
// exit status.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

using test::CliResult;

// Runs tarnwick-cli with the given arguments (no shell) and standard input text.
CliResult runCli(const std::vector<std::string>& args, const std::string& input = {}, const std::string& cwd = {})
{
    return test::CliProcess(args, input, {}, cwd).wait();
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Each test gets its own empty settings and data directories.
        ::setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", m_data.path().c_str(), 1);
    }
    TempDir m_config, m_data, m_tree;
};

TEST_F(Cli, SearchesAndPrintsLinesInOutputForm)
{
    writeFile(m_tree.file("a.txt"), "alpha\nbeta two words\n");
    writeFile(m_tree.file("sub/b.txt"), "two words\n");
    writeFile(m_tree.file("c.log"), "two words\n");
    const CliResult r = runCli({"/Stwo words", "/P", m_tree.path() + "*.txt", "/d"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("a.txt") + "\nLine   2 - beta <two words>\nFound 1 occurrences.\n"
                     "Processing file : " + m_tree.file("sub/b.txt") + "\nLine   1 - <two words>\nFound 1 occurrences.\n"
                     "Searched 2 file(s), found 2 occurrences in 2 file(s)\n");
}

TEST_F(Cli, FlagsFromTheCommandLineDecideCaseAndWholeWord)
{
    writeFile(m_tree.file("a.txt"), "Cat cat cats\n");
    struct Case {
        std::string flags;
        long hits;
    };
    const Case cases[] = {{"/d", 2}, {"/i", 3}, {"/iw", 2}, {"/W", 1}, {"/DI", 3}};
    for (const Case& c : cases) {
        const CliResult r = runCli({"/Scat", "/P", m_tree.path() + "*.*", c.flags});
        EXPECT_NE(r.out.find("found " + std::to_string(c.hits) + " occurrences"), std::string::npos)
            << c.flags << "\n" << r.out;
    }
}

TEST_F(Cli, NothingFoundExitsWithOne)
{
    writeFile(m_tree.file("a.txt"), "alpha\n");
    const CliResult r = runCli({"/Szeta", "/P", m_tree.path() + "*.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Searched 1 file(s), found 0 occurrences in 0 file(s)\n");
}

// A settings file that is a FIFO is never opened (the run would wait for a writer forever):
// the run goes on with the defaults and says so.
TEST_F(Cli, ASettingsFileThatIsAFifoIsReportedAndLeftAlone)
{
    writeFile(m_tree.file("a.txt"), "alpha\n");
    const std::string settings = m_config.file("Pellworth Software Inc./TW32.conf");
    std::filesystem::create_directories(m_config.file("Pellworth Software Inc."));
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    test::CliProcess cli({"/Salpha", "/P", m_tree.path() + "*.txt"});
    const std::optional<CliResult> r = cli.waitAtMost(60);
    ASSERT_TRUE(r.has_value()) << "tarnwick-cli waited on the FIFO";
    EXPECT_EQ(r->status, 0) << r->err;
    EXPECT_NE(r->err.find("The settings file " + settings + " is not a regular file"), std::string::npos) << r->err;
    EXPECT_TRUE(std::filesystem::is_fifo(settings));
}

TEST_F(Cli, MissingStartPathReportsNoFilesOnStandardError)
{
    const CliResult r = runCli({"/Sx", "/P", "/no/such/dir/*.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No files were found using the specified parameters."), std::string::npos);
    EXPECT_NE(r.err.find("- If you want to Search Subdirectories"), std::string::npos);
}

TEST_F(Cli, BadInputIsRefusedWithStatusTwo)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    // With an empty settings store there is no saved mask or path.
    const Case cases[] = {
        {{"/Sx"}, "Please enter a valid mask!"},
        {{"/Sx", "/P", m_tree.path()}, "Please enter a valid mask!"},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Cli, EmptySearchTextListsFiles)
{
    writeFile(m_tree.file("a.c"), "");
    writeFile(m_tree.file("d/b.c"), "");
    writeFile(m_tree.file("d/b.h"), "");
    const CliResult r = runCli({"/P", m_tree.path() + "c", "/d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("a.c") + "\nProcessing file : " + m_tree.file("d/b.c") +
                         "\nFound 2 files in 2 directories\n");
}

// --ignore-files, anywhere among the switches, skips what the tree's .gitignore files
// ignore; a file named as the start path is listed all the same.
TEST_F(Cli, IgnoreFilesSkipsWhatGitIgnores)
{
    writeFile(m_tree.file(".gitignore"), "*.o\nbuild/\n");
    writeFile(m_tree.file("d/.gitignore"), "!keep.o\n");
    for (const char* f : {"a.c", "a.o", "build/b.c", "d/keep.o", "d/x.o"})
        writeFile(m_tree.file(f), "");
    const CliResult r = runCli({"/P", m_tree.path() + "*.c;*.o", "--ignore-files", "/d"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("a.c") + "\nProcessing file : " + m_tree.file("d/keep.o") +
                         "\nFound 2 files in 2 directories\n");
    const CliResult plain = runCli({"/P", m_tree.path() + "*.c;*.o", "/d"});
    EXPECT_NE(plain.out.find("build/b.c"), std::string::npos);
    const CliResult named = runCli({"--ignore-files", "/P", m_tree.file("a.o")});
    EXPECT_EQ(named.out, "Processing file : " + m_tree.file("a.o") + "\nFound 1 files in 1 directories\n");
}

// A replace run rewrites exactly the files the command selects: a start directory whose
// name looks like a mask is a directory, and an ignore file cut at its size cap does not
// bring back (with the cut "!*") what git ignores.
TEST_F(Cli, ReplaceRewritesOnlyTheSelectedFiles)
{
    for (const char* f : {"data/**/a.txt", "data/other/b.txt"})
        writeFile(m_tree.file(f), "foo\n");
    CliResult r = runCli({"/Sfoo", "/Rbar", "/P", m_tree.file("data/**/*.txt"), "/d", "/n"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_tree.file("data/**/a.txt")), "bar\n");
    EXPECT_EQ(readFile(m_tree.file("data/other/b.txt")), "foo\n");

    const size_t cap = 256 * 1024; // the bytes of an ignore file that are read
    writeFile(m_tree.file("repo/.gitignore"), "*.gen\n");
    writeFile(m_tree.file("repo/sub/.gitignore"), "#" + std::string(cap - 4, ' ') + "\n!*.keep\n");
    for (const char* f : {"repo/sub/x.gen", "repo/sub/y.c"})
        writeFile(m_tree.file(f), "foo\n");
    r = runCli({"/Sfoo", "/Rbar", "/P", m_tree.file("repo/*.*"), "/d", "/n", "--ignore-files"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_tree.file("repo/sub/y.c")), "bar\n");
    EXPECT_EQ(readFile(m_tree.file("repo/sub/x.gen")), "foo\n");
}

TEST_F(Cli, OutputFileTakesTheLinesInsteadOfStandardOutput)
{
    writeFile(m_tree.file("a.txt"), "needle\n");
    const std::string out = m_tree.file("res.out");
    const CliResult r = runCli({"/Sneedle", "/P", m_tree.path() + "*.txt", "/O", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const std::string text = readFile(out);
    EXPECT_NE(text.find("Search String: needle\r\n"), std::string::npos);
    EXPECT_NE(text.find("Line   1 - <needle>\r\n"), std::string::npos);
}

// The page is written after the run, also inside the searched tree (one of the run's
// files is refused as the page: see CommandLineSafetyTest).
TEST_F(Cli, HtmlPageIsWrittenAfterTheRun)
{
    writeFile(m_tree.file("a.txt"), "needle <b>\n");
    const std::string page = m_tree.file("page.htm");
    writeFile(page, "needle in the old page\n");
    const CliResult r = runCli({"/Sneedle", "/P", m_tree.path() + "*.txt", "--html", page});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Line   1 - <needle> <b>"), std::string::npos) << r.out;
    const std::string html = readFile(page);
    EXPECT_EQ(html.rfind("<html>\r\n", 0), 0u);
    EXPECT_NE(html.find("<B><FONT COLOR=\"#dc3403\">needle</FONT></B> &#60;b&#62;</NOBR><BR>\r\n"),
              std::string::npos) << html;
    EXPECT_NE(html.find("</body>\r\n</html>\r\n"), std::string::npos);

    const CliResult missing = runCli({"/Sneedle", "/P", m_tree.path() + "*.txt", "--html"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--html needs"), std::string::npos);
}

TEST_F(Cli, PathsWithSpacesQuotesAndNonAsciiBytesWork)
{
    const std::string dir = m_tree.path() + "my dir 'q\" \xc3\xa9/";
    writeFile(dir + "f i.txt", "x \"quoted\" y\n");
    const CliResult r = runCli({"/S\"quoted\"", "/P", dir + "*.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Processing file : " + dir + "f i.txt\n"), std::string::npos);
    EXPECT_NE(r.out.find("Line   1 - x <\"quoted\"> y\n"), std::string::npos);
}

TEST_F(Cli, SearchesFilesBeyondPathMaxAndNamesWithControlBytes)
{
    // 40 levels of 120 bytes: the file's path is about 4,900 bytes long.
    const std::string deep = test::makeDeepFile(m_tree.path(), 40, 120, "deep.txt", "a needle\n");
    ASSERT_GT(deep.size(), 4096u);
    for (const char* n : {"lf\n.txt", "cr\r.txt", "one\x01.txt"})
        writeFile(m_tree.file(n), "needle\n");
    const CliResult r = runCli({"/Sneedle", "/P", m_tree.path() + "*.*", "/d"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Line   1 - a <needle>\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Searched 4 file(s), found 4 occurrences in 4 file(s)\n"), std::string::npos) << r.out;
}

TEST_F(Cli, RelativePathIsResolvedAgainstTheWorkingDirectory)
{
    writeFile(m_tree.file("rel/a.txt"), "x\n");
    const CliResult r = runCli({"/Sx", "/P", "rel/*.txt"}, {}, m_tree.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Processing file : " + m_tree.file("rel/a.txt")), std::string::npos);
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST_F(Cli, ReplaceWithBackupThenUndoScriptRestoresEveryFile)
{
    const std::string names[] = {"plain.txt", "with space.txt", "it's.txt", "caf\xc3\xa9.txt", "sub/$(x).txt"};
    for (const std::string& n : names)
        writeFile(m_tree.file("src/" + n), std::string("alpha beta alpha\r\n\xff\x00 alpha", 26));
    std::vector<std::string> before;
    for (const std::string& n : names)
        before.push_back(readFile(m_tree.file("src/" + n)));
    const CliResult r = runCli({"/Salpha", "/RGAMMA", "/P", m_tree.file("src/") + "*.txt", "/d", "/n", "/B",
                                m_tree.file("bak")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Replaced 15 occurrences in 5 file(s)"), std::string::npos) << r.out;
    for (const std::string& n : names)
        EXPECT_EQ(readFile(m_tree.file("src/" + n)).find("alpha"), std::string::npos) << n;
    const std::string undo = m_data.path() + "tarnwick/twundo.sh";
    ASSERT_EQ(std::system(("sh '" + undo + "'").c_str()), 0);
    for (size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(readFile(m_tree.file("src/" + names[i])), before[i]) << names[i];
}

TEST_F(Cli, ReplaceAnswersComeFromStandardInputInEachPromptMode)
{
    struct Case {
        std::string flags;
        std::string answers;
        std::string expect;
        int status;
    };
    const Case cases[] = {
        {"/n", "", "B B B", 0},                  // no prompts
        {"", "r\nk\nR\ny\n", "B a B", 0},         // every hit, then the file question
        {"", "f\n", "a a a", 0},                  // skip the rest of the file: nothing to commit
        {"", "", "a a a", 2},                     // end of input cancels
        {"", "x\n", "a a a", 2},                  // a line that picks nothing cancels
    };
    for (const Case& c : cases) {
        writeFile(m_tree.file("a.txt"), "a a a");
        std::vector<std::string> args = {"/Sa", "/RB", "/P", m_tree.path() + "*.txt"};
        if (!c.flags.empty())
            args.push_back(c.flags);
        const CliResult r = runCli(args, c.answers);
        EXPECT_EQ(readFile(m_tree.file("a.txt")), c.expect) << c.answers;
        EXPECT_EQ(r.status, c.status) << c.answers << r.err;
    }
}

TEST_F(Cli, ReplaceRefusesABackupPathEqualToThePath)
{
    writeFile(m_tree.file("a.txt"), "a");
    const CliResult r = runCli({"/Sa", "/RB", "/P", m_tree.path() + "*.txt", "/B", m_tree.path()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Please select a backup directory different than the one you want to process files in."),
              std::string::npos);
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "a");
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// Killing tarnwick-cli in the middle of a copy-back loses nothing: the next start names
// every original that was being rewritten and where its earlier content is kept.
TEST_F(Cli, KilledDuringCopyBackReportsTheSafetyCopyAtTheNextStart)
{
    std::string old;
    for (int i = 0; i < 30000; ++i)
        old += "line " + std::to_string(i) + " with word\n";
    writeFile(m_tree.file("big.txt"), old);
    const std::string flag = m_tree.file("pause.flag");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("TW_TEST_PAUSE_COPYBACK", flag.c_str(), 1);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(TW_CLI_PATH, TW_CLI_PATH, "/Sword", "/RWORD", "/P", (m_tree.path() + "*.txt").c_str(), "/n",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool paused = false;
    for (int i = 0; i < 3000 && !paused; ++i) {
        paused = ::access(flag.c_str(), F_OK) == 0;
        if (!paused)
            ::usleep(10000);
    }
    ASSERT_TRUE(paused);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_NE(readFile(m_tree.file("big.txt")), old) << "the copy-back had begun";

    const CliResult next = runCli({"/Sword", "/P", m_tree.path() + "*.none"});
    const std::string head = "The program ended while it was rewriting the file\n" + m_tree.file("big.txt");
    ASSERT_NE(next.err.find(head), std::string::npos) << next.err;
    // The report names the safety file (and the byte range when it is shared).
    const size_t at = next.err.find("is kept in\n");
    ASSERT_NE(at, std::string::npos);
    std::string copyPath = next.err.substr(at + 11, next.err.find('\n', at + 11) - at - 11);
    copyPath = copyPath.substr(0, copyPath.find(" (bytes "));
    EXPECT_EQ(readFile(copyPath).substr(0, old.size()), old);
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST_F(Cli, IncludeExcludeRulesWithDirectoryPartsSelectTheFiles)
{
    for (const char* f : {"a.c", "test_a.c", "lib/b.c", "src/lib/c.c", "obj/d.c", "src/obj/e.c"})
        writeFile(m_tree.file(f), "");
    const std::string p = m_tree.path();
    auto listed = [&](const std::string& masks) { return runCli({"/P", p + masks, "/d"}); };
    // Last match decides; a directory part excludes whole trees at any depth, which are
    // then not entered ("obj" and "src/obj").
    CliResult r = listed("*.c;~test*.c;~\\*\\obj\\*\\*.*");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("a.c") + "\nProcessing file : " + m_tree.file("lib/b.c") +
                         "\nProcessing file : " + m_tree.file("src/lib/c.c") + "\nFound 3 files in 4 directories\n");
    // "/" works as the separator of a mask's directory part as well.
    r = listed("*.h;/*/lib/*.c");
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("lib/b.c") + "\nProcessing file : " + m_tree.file("src/lib/c.c") +
                         "\nFound 2 files in 6 directories\n");
    // Exclusions only, separators only, and hostile masks: no files, said clearly.
    for (const std::string& bad : {std::string("~*.c;~*.h"), std::string(";;;"), std::string(5000, '~'),
                                   "\\" + std::string(5000, '*') + "\\x", std::string(2500, '*') + std::string(2500, '?')}) {
        r = runCli({"/Sx", "/P", p + bad, "/d"});
        EXPECT_EQ(r.status, 1) << bad.substr(0, 10);
        EXPECT_EQ(r.out, "Searched 0 file(s), found 0 occurrences in 0 file(s)\n") << bad.substr(0, 10);
        EXPECT_NE(r.err.find("No files were found using the specified parameters."), std::string::npos) << bad.substr(0, 10);
    }
}

} // namespace
} // namespace tw
