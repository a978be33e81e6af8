#pragma once
// Parsing of the program's command line ("/S", "/R", "/P", "/O", "/C", "/B", "/T" and
// the flag letters "idwxhtrqn") and the checks made on the run inputs before a run starts.
#include "app/MainInputs.h"
#include "core/ProgramOptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The letters the parser takes after a "/", in either case: those of the value switches
// and the flag letters.
inline constexpr std::string_view kCommandLineValueSwitches = "BCOPRST";
inline constexpr std::string_view kCommandLineFlagLetters = "IDWXHTRQN";

struct CommandLineRequest {
    // Flag letters; a value switch "/R" sets `replace`, "/T" sets `touch` too.
    bool caseInsensitive = false;   // i
    bool subdirectories = false;    // d
    bool wholeWord = false;         // w
    bool regularExpression = false; // x
    bool ignoreWhitespace = false;  // h
    bool touch = false;             // t, or "/T"
    bool replace = false;           // r, or "/R"
    bool closeAfterRun = false;     // q
    bool noPrompts = false;         // n
    bool search = false;            // set by "/S"

    // Values of the value switches; each `...Given` is true exactly when its switch
    // appeared (the value may then still be empty).
    std::string searchText;   // "/S"
    std::string replaceText;  // "/R"
    std::string path;         // "/P", path and mask not yet split
    std::string outputFile;   // "/O"
    std::string scriptFile;   // "/C"
    std::string touchDateTime; // "/T"; "Now" when the switch had no value
    std::string backupPath;   // "/B"
    bool searchTextGiven = false;
    bool replaceTextGiven = false;
    bool pathGiven = false;
    bool outputFileGiven = false;
    bool scriptFileGiven = false;
    bool touchDateTimeGiven = false;
    bool backupPathGiven = false;
    // The "/P" value is a whole directory, not a directory part and a mask: set by
    // takeDirectoryAsPath for the desktop program, which a file manager starts with a folder.
    bool pathIsDirectory = false;
};

// Parses one command text. Every "/" introduces a switch; a value switch (B C O P R S T,
// either case) takes a value that is either quoted (to the next quote not preceded by a
// backslash, with backslash-quote turned into a quote) or runs to the next space. Any
// other "/" starts a run of flag letters.
CommandLineRequest parseCommandLine(std::string_view commandText);

// Marks the "/P" value as a whole directory when it names an existing directory (a relative
// one in `currentDir`, "~/" expanded), so that applyCommandLine makes it the path and keeps
// the mask: "tarnwick /P /home/me/src" opens on that folder, as a file manager asks.
void takeDirectoryAsPath(CommandLineRequest& request, const std::string& currentDir = {});

// Joins the program arguments (argv[1..]) into one command text that parseCommandLine
// reads back as the same switches and values: a value of a value switch, attached
// ("/Stwo words") or in the next argument ("/S", "two words"), is quoted when it holds a
// space or a double quote, each inner quote written as backslash-quote.
// A separate argument after a bare value switch is its value unless it is a switch itself:
// "/" and letters only, either one value-switch letter or all flag letters, or one of "/P",
// "/O", "/B", "/C" with a "/" right after it (an absolute path glued to the switch). So "/R"
// before "/P" or "/P/src/*.c" means an empty replace text, while "/tmp/x" or "/src" stay
// values.
std::string joinArguments(const std::vector<std::string>& args);

// Removes every argument that is exactly the long option `name` (such as "--ignore-files")
// from `args`; true when there was one.
bool takeLongOption(std::vector<std::string>& args, std::string_view name);
bool isBareSwitch(const std::string& argument);

// The first argument that is neither a switch nor the value of a value switch (typically a
// file name the shell made of an unquoted mask), or nothing.
std::optional<std::string> findStrayArgument(const std::vector<std::string>& args);

// The first argument that stands where a switch would and begins with "--": a long option
// that was not taken out as a known one. A value of a bare value switch ("/S --x") is not one.
std::optional<std::string> findLongOption(const std::vector<std::string>& args);

// A directory as a canonical path ending in "/": the existing part resolved through
// realpath, the rest normalised. Used to compare directories as the same place.
std::string canonicalDirectory(const std::string& path);

// The path a first start offers while the path list is empty: the current directory
// `currentDir`, or the home directory `home` when that is "/" (a program started from the
// desktop), so that a first Search finds something. Ends with "/".
std::string firstStartPath(const std::string& currentDir, const std::string& home);

// Puts a parsed command line into the run inputs and options: its flags replace the
// saved ones, its texts replace them only when given.
void applyCommandLine(const CommandLineRequest& request, MainInputs& inputs,
                      ProgramOptions& options, const std::string& currentDir = {});

// The options a command line sets ("/O", "/B", and "n" with a Replace): they hold for the
// run whatever options it runs with, a script's own included.
void applyCommandLineOptions(const CommandLineRequest& request, ProgramOptions& options);

// The one command a command line issues once the window is up.
enum class CommandLineCommand { None, Touch, Replace, Search };
CommandLineCommand chosenCommand(const CommandLineRequest& request);

// The backup directory of a replace run against one start path (a literal path box or a
// script's path entry): the message when they are the same directory, or when the backup
// directory lies inside the path walked with subdirectories (options.searchSubdirs);
// nothing otherwise, and nothing when either is empty.
std::optional<std::string> checkBackupDirectory(const std::string& path, const ProgramOptions& options);

// The checks made on the inputs before a run (and before the settings are saved).
// Returns the message to show, or nothing when the inputs are acceptable. Checks that
// involve script files are made by the caller.
std::optional<std::string> checkInputs(const MainInputs& inputs, bool replaceMode,
                                       const ProgramOptions& options);

} // namespace tw
