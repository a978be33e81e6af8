// The desktop program started with a command line ending in "/q": it runs unattended, so
// whatever it has to say before the run goes to standard error instead of a message box
// that nobody would answer, and it exits with the status tarnwick-cli gives.
#include "TestUtil.h"
#include "cli/CliRunner.h"
#include "core/RecoveryList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tw {
namespace {

using test::CliResult;
using test::TempDir;
using test::writeFile;

class ProgramStart : public ::testing::Test {
protected:
    // The program under the offscreen platform with its own settings and data directories;
    // nothing when it has not ended within a minute (it waits on a box or a FIFO).
    std::optional<CliResult> run(const std::vector<std::string>& args)
    {
        test::CliProcess program(test::Program{TW_GUI_PATH}, args, {},
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", m_config.path()},
                                  {"XDG_DATA_HOME", m_data.path()}});
        return program.waitAtMost(60);
    }
    std::string settingsFile() const { return m_config.file("Pellworth Software Inc./TW32.conf"); }
    std::string languageFile() const { return m_data.file("tarnwick/TWLANG.DLL"); }
    std::string mask() const { return m_tree.file("*.txt"); }

    TempDir m_config, m_data, m_tree;
};

TEST_F(ProgramStart, ARefusedCommandLineIsReportedOnStandardError)
{
    const std::vector<std::string> refused[] = {
        {"/Sneedle", "/P", mask(), "/z", "/q"},        // an unknown switch
        {"/Sneedle", "/P", mask(), "stray.txt", "/q"}, // a stray argument
        {"/", "/Sneedle", "/P", mask(), "/q"},         // "/" alone
    };
    for (const auto& args : refused) {
        const std::optional<CliResult> r = run(args);
        ASSERT_TRUE(r.has_value()) << args[args.size() - 2] << ": the program waited";
        EXPECT_EQ(r->status, 2);
        EXPECT_NE(r->err.find("Unexpected argument"), std::string::npos) << r->err;
    }
}

TEST_F(ProgramStart, ExitStatusIsThatOfTheCommandLineProgram)
{
    writeFile(m_tree.file("a.txt"), "the needle\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"/Sneedle", "/P", mask(), "/q"}, 0, nullptr},
        {{"/Sabsent", "/P", mask(), "/q"}, 1, nullptr},
        {{"/Sneedle", "/P", ";", "/q"}, 2, "Please enter a valid mask!"},
    };
    for (const auto& c : cases) {
        const std::optional<CliResult> r = run(c.args);
        ASSERT_TRUE(r.has_value()) << c.args[0] << ": the program waited";
        EXPECT_EQ(r->status, c.status) << c.args[0] << "\n" << r->err;
        if (c.message) {
            EXPECT_NE(r->err.find(c.message), std::string::npos) << r->err;
        }
    }
}

// "Open With" on a folder passes "/P FOLDER": the folder is the path, and the masks stay
// (a first start's "*.*"), so its files are searched rather than files named like it.
TEST_F(ProgramStart, AFolderAfterPIsThePath)
{
    writeFile(m_tree.file("My Folder/a.txt"), "the needle\n");
    const std::optional<CliResult> r = run({"/Sneedle", "/P", m_tree.file("My Folder"), "/q"});
    ASSERT_TRUE(r.has_value()) << "the program waited";
    EXPECT_EQ(r->status, 0) << r->err;
}

// A language file for another version is reported; a language or settings file that is a
// FIFO is never opened (the program would wait for a writer) and is reported too.
TEST_F(ProgramStart, LanguageAndSettingsFilesThatCannotBeUsedAreReported)
{
    writeFile(m_tree.file("a.txt"), "the needle\n");
    writeFile(languageFile(), "version=9.9.9.9\n40004\tSuche\n");
    std::optional<CliResult> r = run({"/Sneedle", "/P", mask(), "/q"});
    ASSERT_TRUE(r.has_value()) << "the program waited";
    EXPECT_EQ(r->status, 0) << r->err;
    EXPECT_NE(r->err.find("Language DLL version doesn not match"), std::string::npos) << r->err;

    std::filesystem::remove(languageFile());
    ASSERT_EQ(::mkfifo(languageFile().c_str(), 0600), 0);
    std::filesystem::remove(settingsFile()); // the run above saved its settings
    ASSERT_EQ(::mkfifo(settingsFile().c_str(), 0600), 0);
    r = run({"/Sneedle", "/P", mask(), "/q"});
    ASSERT_TRUE(r.has_value()) << "the program waited";
    EXPECT_EQ(r->status, 0) << r->err;
    EXPECT_NE(r->err.find("/tarnwick/TWLANG.DLL is not a regular file"), std::string::npos) << r->err;
    EXPECT_NE(r->err.find("The settings file " + settingsFile() + " is not a regular file"), std::string::npos)
        << r->err;
    EXPECT_TRUE(std::filesystem::is_fifo(settingsFile()));
}

// Files left to recover are named on standard error; the dialog that offers to restore
// them would close with the window, unseen.
TEST_F(ProgramStart, FilesLeftToRecoverAreNamedOnStandardError)
{
    writeFile(m_tree.file("a.txt"), "the needle\n");
    const std::string data = m_data.file("tarnwick/");
    writeFile(data + "safety-a", "the needle\n");
    RecoveryEntry entry;
    entry.original = m_tree.file("a.txt");
    entry.safetyCopy = data + "safety-a";
    entry.copyLength = 11;
    ASSERT_TRUE(RecoveryList(realFileSystem(), realFileOps(), data).add(entry));
    const std::optional<CliResult> r = run({"/Sneedle", "/P", mask(), "/q"});
    ASSERT_TRUE(r.has_value()) << "the program waited";
    EXPECT_EQ(r->status, 0) << r->err;
    EXPECT_NE(r->err.find(m_tree.file("a.txt")), std::string::npos) << r->err;
}

} // namespace
} // namespace tw
