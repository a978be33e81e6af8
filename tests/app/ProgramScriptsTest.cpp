// The scripts the program writes itself (TWDUMP.TWS, EXPLORER.TWS) and a command line's
// "/C" script.
#include "app/ProgramScripts.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(ProgramScripts, ExplorerScriptHasAPathEntryPerExistingDroppedItem)
{
    TempDir dir, data;
    writeFile(dir.file("a.txt"), "x");
    writeFile(dir.file("sub/b.log"), "y");
    std::string file;
    ASSERT_EQ(writeExplorerScript({dir.file("a.txt"), dir.file("sub/b.log")}, data.path(), &file), "");
    EXPECT_EQ(file, data.file("EXPLORER.TWS"));
    EXPECT_EQ(readFile(file), "[Script for Tarnwick]\r\n"
                              "[Path]\r\n" + dir.file("a.txt") + "\r\n"
                              "[Path]\r\n" + dir.file("sub/b.log") + "\r\n"
                              "[End of Tarnwick Script]\r\n");

    // A directory takes every file; an item that is gone is left out.
    ASSERT_EQ(writeExplorerScript({dir.file("gone.txt"), dir.file("sub"), dir.file("a.txt")}, data.path(), &file), "");
    EXPECT_EQ(readFile(file), "[Script for Tarnwick]\r\n"
                              "[Path]\r\n" + dir.file("sub/") + "*.*\r\n"
                              "[Path]\r\n" + dir.file("a.txt") + "\r\n"
                              "[End of Tarnwick Script]\r\n");
    // Nothing that exists: nothing is written over the last one.
    EXPECT_EQ(writeExplorerScript({dir.file("gone.txt"), dir.file("gone2")}, data.path(), &file),
              "Cannot save empty script file.");
    EXPECT_NE(readFile(file).find("sub/*.*"), std::string::npos);
}

TEST(ProgramScripts, DumpScriptReadsBackAsTheWindowsInputs)
{
    TempDir data;
    MainWindowSettings window;
    MainInputs& in = window.inputs;
    in.searchText = "two\nlines";
    in.replaceText = kBinaryPlaceholder;
    window.binaryReplaceBlock = "\\x00\\x01";
    in.caseSensitive = false;
    in.wholeWord = true;
    in.ignoreWhitespace = true;
    in.mask = "*.c;*.h";
    in.path = data.path();
    ASSERT_EQ(writeDumpScript(window, data.path()), "");
    Script read;
    const ScriptLoadResult loaded = loadScript(read, data.file("TWDUMP.TWS"), scriptReadContext(MainInputs(), {}));
    ASSERT_TRUE(loaded.read);
    ASSERT_EQ(read.pairs.size(), 1u);
    const SearchPair& p = read.pairs[0];
    EXPECT_EQ(p.searchText, "two\nlines");
    EXPECT_EQ(p.replaceText, kBinaryPlaceholder);
    EXPECT_EQ(p.binaryReplaceBlock, window.binaryReplaceBlock);
    EXPECT_FALSE(p.caseSensitive);
    EXPECT_TRUE(p.wholeWord && p.ignoreWhitespace && !p.regularExpression);
    ASSERT_EQ(read.paths.size(), 1u);
    EXPECT_EQ(read.paths[0].path, data.path());
    EXPECT_EQ(read.paths[0].mask, "*.c;*.h");
}

TEST(ProgramScripts, CommandLineScriptBecomesTheLastScriptFileAndIsShown)
{
    TempDir dir;
    writeFile(dir.file("s.tws"), "[Script for Tarnwick]\r\n[Search]\r\na\r\n[Replace]\r\nb\r\n[Path]\r\n" +
                                     dir.path() + "*.txt\r\n[End of Tarnwick Script]\r\n");
    writeFile(dir.file("empty.tws"), "");
    MainWindowSettings window;
    window.inputs.searchText = "typed";
    Script script;
    std::vector<std::string> messages;
    CommandLineRequest commandLine;
    commandLine.scriptFile = dir.file("sub/../s.tws");
    commandLine.scriptFileGiven = true;
    ASSERT_TRUE(takeCommandLineScript(commandLine, window, ProgramOptions(), script, &messages));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window.lastScriptFile, dir.file("s.tws"));
    const std::string shown = std::string(kScriptPrefix) + dir.file("s.tws");
    EXPECT_EQ(window.inputs.searchText, shown);
    EXPECT_EQ(window.inputs.replaceText, shown);
    EXPECT_EQ(window.inputs.mask, shown);
    EXPECT_EQ(window.inputs.path, shown);

    // A file that cannot be read, or holds nothing to run, is refused with its reason.
    for (const char* name : {"missing.tws", "empty.tws"}) {
        MainWindowSettings w;
        w.inputs.searchText = "typed";
        messages.clear();
        commandLine.scriptFile = dir.file(name);
        EXPECT_FALSE(takeCommandLineScript(commandLine, w, ProgramOptions(), script, &messages)) << name;
        EXPECT_FALSE(messages.empty()) << name;
        EXPECT_EQ(w.inputs.searchText, "typed") << name;
    }
}

// The options a command line names hold for a script's own options; the others stay the
// script's.
TEST(ProgramScripts, CommandLineOptionsHoldForTheScriptsOwn)
{
    TempDir dir;
    writeFile(dir.file("s.tws"), "[Script for Tarnwick]\r\n[Options]\r\nSearch_subdir=1\r\nPrompt_flag=0\r\n"
                                 "Output_File=/x/out.txt\r\nBackup Path=/x/bak/\r\nBefore Hit=[[\r\n"
                                 "[Search]\r\na\r\n[Replace]\r\nb\r\n[End of Tarnwick Script]\r\n");
    MainWindowSettings window;
    Script script;
    std::vector<std::string> messages;
    const CommandLineRequest commandLine =
        parseCommandLine(joinArguments({"/C", dir.file("s.tws"), "/R", "/n", "/B", "/y/bak/"}));
    ASSERT_TRUE(takeCommandLineScript(commandLine, window, ProgramOptions(), script, &messages));
    ASSERT_TRUE(script.options.has_value());
    EXPECT_EQ(script.options->promptMode, 2);
    EXPECT_EQ(script.options->backupPath, "/y/bak/");
    EXPECT_EQ(script.options->outputFile, "/x/out.txt");
    EXPECT_EQ(script.options->beforeHit, "[[");
    EXPECT_EQ(script.subdirectories, ScriptSubdirs::Yes);
}

} // namespace
} // namespace tw
