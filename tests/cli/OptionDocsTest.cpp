// The options the command-line parsers accept against --help, the manual pages and the
// shell completions, all of which come from the options table (app/CliOptions).
#include "CliRunner.h"

#include "app/CliOptions.h"
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string_view>

namespace tw::test {
namespace {

// Every long option the programs' parsers compare an argument with: the string literals
// "--name" (and "-h") in their sources (every file of src/cli, the command line's parser
// and the desktop program's main), so that an option added there is caught here whatever
// way it is taken.
// The option at `p` of a string literal that is the option or starts with it and "=":
// "--name" (lower-case letters and "-") or "-h"; empty when there is none.
std::string optionLiteralAt(const std::string& text, size_t p)
{
    size_t e = p;
    if (text.compare(p, 3, "-h\"") == 0 || text.compare(p, 3, "-h=") == 0) {
        e = p + 2;
    } else if (text.compare(p, 2, "--") == 0 && p + 2 < text.size() && std::islower(static_cast<unsigned char>(text[p + 2]))) {
        e = p + 3;
        while (e < text.size() && (std::islower(static_cast<unsigned char>(text[e])) || text[e] == '-'))
            ++e;
        if (e >= text.size() || (text[e] != '"' && text[e] != '='))
            return {};
    } else {
        return {};
    }
    return text.substr(p, e - p);
}

// A flag letter's few words in the flag letters' lines: after ":" or "," and white space,
// the letter, a space and a lower-case word, before the text that follows the lines.
bool describesFlag(std::string_view lines, char letter)
{
    lines = lines.substr(0, lines.find('A'));
    for (size_t p = lines.find_first_of(":,"); p != std::string_view::npos; p = lines.find_first_of(":,", p + 1)) {
        size_t q = p + 1;
        while (q < lines.size() && std::isspace(static_cast<unsigned char>(lines[q])))
            ++q;
        if (q > p + 1 && q + 2 < lines.size() && lines[q] == letter && lines[q + 1] == ' ' &&
            std::islower(static_cast<unsigned char>(lines[q + 2])))
            return true;
    }
    return false;
}

std::set<std::string> acceptedLongOptions()
{
    std::vector<std::string> files = {std::string(TW_SOURCE_DIR) + "/src/app/CommandLine.cpp",
                                      std::string(TW_SOURCE_DIR) + "/src/gui-main/main.cpp"};
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TW_SOURCE_DIR) + "/src/cli"))
        files.push_back(entry.path().string());
    std::set<std::string> names;
    for (const std::string& file : files) {
        const std::string text = readFile(file);
        EXPECT_FALSE(text.empty()) << file;
        for (size_t q = text.find('"'); q != std::string::npos; q = text.find('"', q + 1)) {
            const std::string name = optionLiteralAt(text, q + 1);
            if (!name.empty())
                names.insert(name);
        }
    }
    return names;
}

std::string lower(std::string_view letters)
{
    std::string out;
    for (char c : letters)
        out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string generated(const std::string& name)
{
    return readFile(std::string(TW_DOCS_DIR) + "/" + name);
}

// "--html" as the manual page writes it.
std::string roffName(std::string_view name)
{
    std::string out;
    for (char c : name)
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(OptionDocs, EveryAcceptedOptionIsInHelpManPagesAndCompletions)
{
    const std::string help = CliProcess({"--help"}).wait().out;
    ASSERT_TRUE(contains(help, "Usage: tarnwick-cli"));
    const std::string cliMan = generated("tarnwick-cli.1");
    const std::string desktopMan = generated("tarnwick.1");
    const std::vector<std::string> cliCompletions = {generated("bash/tarnwick-cli"), generated("zsh/_tarnwick-cli"),
                                                     generated("fish/tarnwick-cli.fish")};
    const std::vector<std::string> desktopCompletions = {generated("bash/tarnwick"), generated("zsh/_tarnwick"),
                                                         generated("fish/tarnwick.fish")};
    ASSERT_FALSE(cliMan.empty() || desktopMan.empty());

    // The switches and flag letters: both programs parse them.
    for (char letter : lower(kCommandLineValueSwitches)) {
        const std::string name = std::string("/") + char(std::toupper(letter));
        SCOPED_TRACE(name);
        EXPECT_TRUE(contains(help, "\n  " + name + " "));
        EXPECT_TRUE(contains(cliMan, ".BI \"" + name + "\"") && contains(desktopMan, ".BI \"" + name + "\""));
        for (const std::string& script : cliCompletions)
            EXPECT_TRUE(contains(script, name));
        for (const std::string& script : desktopCompletions)
            EXPECT_TRUE(contains(script, name));
    }
    const std::string flags = lower(kCommandLineFlagLetters);
    EXPECT_EQ(cliFlagLetters(), flags);
    const size_t flagLine = help.find("  /" + flags + " flag letters:");
    ASSERT_NE(flagLine, std::string::npos);
    for (char letter : flags) {
        SCOPED_TRACE(letter);
        // "i case-insensitive," in the flag letters' lines.
        EXPECT_TRUE(describesFlag(std::string_view(help).substr(flagLine + 3 + flags.size()), letter));
        EXPECT_TRUE(contains(cliMan, ".B \"" + std::string(1, letter) + "\"\n"));
        EXPECT_TRUE(contains(desktopMan, ".B \"" + std::string(1, letter) + "\"\n"));
        for (const std::string& script : cliCompletions)
            EXPECT_TRUE(contains(script, std::string("/") + letter));
    }

    // The long options tarnwick-cli takes; the table holds no other.
    const std::set<std::string> accepted = acceptedLongOptions();
    std::set<std::string> inTable;
    for (const CliOption& o : cliOptions())
        if (o.kind == CliOptionKind::LongOption) {
            inTable.insert(std::string(o.name));
            if (!o.alias.empty())
                inTable.insert(std::string(o.alias));
        }
    EXPECT_EQ(accepted, inTable);
    for (const std::string& name : accepted) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(contains(help, " " + name + " ") || contains(help, " " + name + ",") ||
                    contains(help, " " + name + "="));
        EXPECT_TRUE(contains(cliMan, roffName(name)));
        if (name.rfind("--", 0) != 0)
            continue;
        EXPECT_TRUE(contains(cliCompletions[0], name) && contains(cliCompletions[1], name));
        EXPECT_TRUE(contains(cliCompletions[2], "-l " + name.substr(2) + " "));
    }
}

// Runs the bash completion of tarnwick-cli for the words of a command line, the last one
// being completed; the offers, one a line.
std::string bashCompletions(const std::vector<std::string>& words)
{
    std::string script = "source '" + std::string(TW_DOCS_DIR) + "/bash/tarnwick-cli'\nCOMP_WORDS=(";
    for (const std::string& w : words)
        script += "'" + w + "' ";
    script += ")\nCOMP_CWORD=" + std::to_string(words.size() - 1) +
              "\n_tarnwick_cli tarnwick-cli\nfor w in \"${COMPREPLY[@]}\"; do printf '%s\\n' \"$w\"; done\n";
    return CliProcess(Program{"/bin/bash"}, {"-c", script}).wait().out;
}

TEST(OptionDocs, BashCompletesOptionsAndFileNames)
{
    TempDir dir;
    writeFile(dir.file("notes.txt"), "x");
    const std::string prefix = dir.path() + "no";
    // File names after the switches that name a file, and after --html.
    for (const char* sw : {"/P", "/o", "/C", "--html"})
        EXPECT_EQ(bashCompletions({"tarnwick-cli", sw, prefix}), dir.path() + "notes.txt\n") << sw;
    // Directories only after /B.
    EXPECT_EQ(bashCompletions({"tarnwick-cli", "/B", prefix}), "");
    EXPECT_EQ(bashCompletions({"tarnwick-cli", "/Sx", "--ht"}), "--html\n");
    const std::string switches = bashCompletions({"tarnwick-cli", "/"});
    EXPECT_TRUE(contains(switches, "/S\n") && contains(switches, "/i\n") && !contains(switches, "--"));
}

} // namespace
} // namespace tw::test
