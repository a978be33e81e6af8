#pragma once
// The one table of the command-line options: the "/" switches, the flag letters and the
// long options. `tarnwick-cli --help`, the manual pages and the shell completions are all
// made from it (the pages and completions at build time, by tw-docgen), so they cannot
// drift apart. Adding an option is adding one row to kCliOptions.
#include <span>
#include <string>
#include <string_view>

namespace tw {

enum class CliOptionKind {
    ValueSwitch, // "/S text": a "/" and a letter, either case, with a value
    FlagLetter,  // one letter of a "/idw..." run
    LongOption,  // "--html FILE", "--recover"
};

// What a shell offers to complete after the option.
enum class CliCompletion { None, File, Directory };

// Which programs accept the option.
enum CliProgram : unsigned { kCliProgram = 1u, kDesktopProgram = 2u, kBothPrograms = 3u };

struct CliOption {
    CliOptionKind kind;
    // "/S", "i" or "--html".
    std::string_view name;
    // The value's name ("text", "FILE"), or "=" and its name for a long option whose value
    // is attached ("=WHEN" for "--color=WHEN"); empty when it takes none.
    std::string_view argument;
    // The --help text: lines separated by "\n", without their indentation. A flag letter's
    // is its few words in the flag letters' line.
    std::string_view help;
    // The manual page's paragraph (plain text, "\n\n" separates paragraphs); the help text
    // is used when empty.
    std::string_view manText;
    CliCompletion completion;
    unsigned programs;
    // Another spelling that does the same ("-h" for "--help"), or empty.
    std::string_view alias = {};
};

// Every option, in the order --help and the manual pages list them.
std::span<const CliOption> cliOptions();

// The flag letters, in the table's order ("idwxhtrqn").
std::string cliFlagLetters();

// The complete text of `tarnwick-cli --help` (ending in a line feed).
std::string cliHelpText();

// The manual page of `program` ("tarnwick-cli" or "tarnwick") in man(7) markup; `version`
// goes into its title line.
std::string manPage(std::string_view program, std::string_view version);

// The completion script of `program` ("tarnwick-cli" or "tarnwick") for one shell: "bash",
// "zsh" or "fish"; empty for any other shell.
std::string completionScript(std::string_view shell, std::string_view program);

} // namespace tw
