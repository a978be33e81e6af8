// tarnwick-cli running a script file ("/C"): its pairs, paths, masks and expression, a
// replace with backups and undo lines, and scripts it cannot use.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliProcess;
using test::CliResult;
using test::readFile;
using test::TempDir;
using test::writeFile;

class ScriptCli : public test::PrivateDirsTest {
protected:
    // A script file of the given sections between the first and the last line.
    std::string script(const std::string& sections)
    {
        const std::string path = m_scripts.file("run.tws");
        writeFile(path, "[Script for Tarnwick]\r\n" + sections + "[End of Tarnwick Script]\r\n");
        return path;
    }
    TempDir m_tree, m_scripts;
};

// A file counts when its first pair has hits and its second has none: the other file with
// hits of the first pair is left out, with its lines, of the list and of the run's totals,
// while the per-pair lines count every hit.
TEST_F(ScriptCli, SearchScriptWithTwoPairsAndAnExpression)
{
    writeFile(m_tree.file("a.txt"), "alpha beta\n");
    writeFile(m_tree.file("b.txt"), "alpha\nOBSOLETE\n");
    writeFile(m_tree.file("c.txt"), "nothing\n");
    writeFile(m_tree.file("d.log"), "alpha\n");
    const std::string s = script("[Expression]\r\nE1 AND NOT E2\r\n"
                                 "[Search]\r\nalpha\r\n[Replace]\r\n\r\n"
                                 "[Search /i]\r\nobsolete\r\n[Replace]\r\n\r\n"
                                 "[Path]\r\n" + m_tree.path() + "*.txt\r\n");
    const CliResult r = CliProcess({"/C", s}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("a.txt") + "\nLine   1 - <alpha> beta\nFound 1 occurrences.\n"
                     "Searched 3 file(s), found 1 occurrences in 1 file(s)\n"
                     // A file the expression drops adds nothing to the pairs' totals either.
                     "alpha - Searched 3 file(s), found 1 occurrences in 1 file(s)\n"
                     "obsolete - Searched 3 file(s), found 0 occurrences in 0 file(s)\n");
}

// A replace run from a script goes the way of every replace: each file is rewritten
// through its backup and gets its undo line. With one path entry the backups go to the
// backup directory itself, with several to a directory per entry ("Path1/", "Path2/").
TEST_F(ScriptCli, ReplaceScriptRewritesWithBackupsAndUndoLines)
{
    for (const bool twoEntries : {false, true}) {
        SCOPED_TRACE(twoEntries ? "two path entries" : "one path entry");
        TempDir tree, bak;
        writeFile(tree.file("one/a.txt"), "old thing\n");
        writeFile(tree.file("two/b.txt"), "an old Thing\n");
        writeFile(tree.file("two/c.log"), "old\n");
        const std::string s = script("[Search]\r\nold\r\n[Replace]\r\nnew\r\n"
                                     "[Search /i]\r\nthing\r\n[Replace]\r\nstuff\r\n"
                                     "[Path]\r\n" + tree.path() + "one/*.txt\r\n" +
                                     (twoEntries ? "[Path]\r\n" + tree.path() + "two/*.txt\r\n" : ""));
        const CliResult r = CliProcess({"/C", s, "/R", "/n", "/B", bak.path()}).wait();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(twoEntries ? "Replaced 4 occurrences in 2 file(s)" : "Replaced 2 occurrences in 1 file(s)"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(readFile(tree.file("one/a.txt")), "new stuff\n");
        EXPECT_EQ(readFile(tree.file("two/b.txt")), twoEntries ? "an new stuff\n" : "an old Thing\n");
        EXPECT_EQ(readFile(tree.file("two/c.log")), "old\n");
        const std::string undo = readFile(m_data.path() + "tarnwick/twundo.sh");
        const std::string backupA = bak.file(twoEntries ? "Path1/a.txt" : "a.txt");
        EXPECT_EQ(readFile(backupA), "old thing\n");
        EXPECT_NE(undo.find("cp -p -- '" + backupA + "' '" + tree.file("one/a.txt") + "'"), std::string::npos)
            << undo;
        if (twoEntries) {
            EXPECT_EQ(readFile(bak.file("Path2/b.txt")), "an old Thing\n");
            EXPECT_NE(undo.find("cp -p -- '" + bak.file("Path2/b.txt") + "' '" + tree.file("two/b.txt") + "'"),
                      std::string::npos)
                << undo;
        }
    }
}

// A script's own options are in force for its run, its subdirectory state too.
TEST_F(ScriptCli, TheScriptsOwnOptionsAreInForce)
{
    writeFile(m_tree.file("sub/a.txt"), "alpha\n");
    const std::string s = script("[Options]\r\nSearch_subdir=1\r\nBefore Hit=[[\r\nAfter Hit=]]\r\n"
                                 "Display File Stats=0\r\n[Search]\r\nalpha\r\n[Replace]\r\n\r\n"
                                 "[Path]\r\n" + m_tree.path() + "*.txt\r\n");
    const CliResult r = CliProcess({"/C", s}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing file : " + m_tree.file("sub/a.txt") + "\nLine   1 - [[alpha]]\n"
                     "Searched 1 file(s), found 1 occurrences in 1 file(s)\n");
}

// A script's relative directory that does not exist selects nothing: never the files of
// the current directory. A script that cannot be read runs nothing.
TEST_F(ScriptCli, ScriptsThatSelectNothingOrCannotBeRead)
{
    writeFile(m_tree.file("a.txt"), "alpha\n");
    const std::string s = script("[Path]\r\nnosuchdir/*.txt\r\n");
    CliResult r = CliProcess({"/Salpha", "/C", s}, {}, {}, m_tree.path()).wait();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "Searched 0 file(s), found 0 occurrences in 0 file(s)\n");

    r = CliProcess({"/Salpha", "/C", m_scripts.file("missing.tws"), "/P", m_tree.path() + "*.txt"}).wait();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Cannot read script file\n" + m_scripts.file("missing.tws")), std::string::npos) << r.err;

    // A script of paths alone: the command line's search and replace texts over its paths.
    const std::string paths = script("[Path]\r\n" + m_tree.path() + "*.txt\r\n");
    r = CliProcess({"/Salpha", "/Rbeta", "/n", "/C", paths}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_tree.file("a.txt")), "beta\n");
}

} // namespace
} // namespace tw
