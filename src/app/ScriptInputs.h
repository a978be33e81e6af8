#pragma once
// The main window's boxes that name a script ("Use Script file: " and the script's path):
// the checks made on the inputs before a run when boxes may name a script, the loading of
// the named script, the options and subdirectory state a script's run is made with, and
// the display of a script in the boxes.
#include "app/MainInputs.h"
#include "core/ProgramOptions.h"
#include "script/Script.h"
#include "script/ScriptFile.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The input box a failed check gives the focus back to.
enum class InputBox { None, Search, Replace, Mask, Path };

// The script file a box's text names: what follows the prefix. Nothing when the text does
// not begin with the prefix.
std::optional<std::string> scriptReference(std::string_view boxText);

// Whether two script names are the same file: compared as canonical paths ("~/" expanded,
// the existing part resolved, a relative name taken in the current directory).
bool sameScriptFile(const std::string& a, const std::string& b);

// A script name as the last script file keeps it: absolute and canonical where it exists,
// so that it names the same file whatever the current directory is later.
std::string scriptFileName(const std::string& name);

// What a run takes from the script the boxes name.
struct ScriptUse {
    std::string file;   // the script the boxes name; empty when none does
    bool pairs = false; // the search box names it: the run's pairs are the script's
    bool paths = false; // the path box names it: the run's path entries are the script's
    bool masks = false; // the mask box names it too: each entry keeps its own masks
    // The run takes pairs or paths from the script, and with them its options.
    bool inUse() const { return pairs || paths; }
};

// Loads the script at `path` into `script` (loadScript with the program's read context);
// tests hand scripts over directly.
using ScriptLoader = std::function<ScriptLoadResult(Script& script, const std::string& path)>;

struct AcceptedInputs {
    // Why the inputs were refused and the box the refusal points at; an empty message (and
    // no box) when they were accepted.
    std::string message;
    InputBox focus = InputBox::None;
    // What loading the script said (a file that cannot be read, an invalid expression),
    // to be shown before `message`.
    std::vector<std::string> loadMessages;
    ScriptUse use;
    // The named script differs from the last script file and has become it: the boxes
    // should show it.
    bool scriptChanged = false;

    bool accepted() const { return message.empty(); }
};

// The checks made before every Search and Replace, in order: the mask and the path are not
// empty; every box that names a script (the replace box only in replace mode) names the
// same one; the script is loaded when the search box or the path box names it and it is
// not loaded yet; in replace mode the search box and the replace box both name it or
// neither does, the backup directory differs from every path the run walks (the literal
// path or each of the script's) under the options in force, and "Write to Backup Dir"
// has a backup directory; the mask box names the script only together with the path box;
// a named script that is not the last script file becomes it (and is loaded); the script
// has pairs when the search box names it and path entries when the path box does.
// `script` is the program's script and `lastScriptFile` the "Last Script File" setting;
// both may change.
AcceptedInputs acceptInputs(const MainInputs& inputs, bool replaceMode, const ProgramOptions& options,
                            Script& script, std::string& lastScriptFile, const ScriptLoader& load);

// The program's options with the lines of a script's options block taken from the script's
// own: the options a block does not hold (the threads, the ignore files, the context font,
// the archive bounds) stay the program's as they are now.
ProgramOptions withScriptOptions(const ProgramOptions& program, const ProgramOptions& script);

// The options a run is made with: the script's own (withScriptOptions) when the run takes
// pairs or paths from a script that has them, the program's otherwise; "Search_subdir" is
// the subdirectory state in force (subdirectoriesInForce).
ProgramOptions optionsInForce(const ProgramOptions& program, const Script* script, const ScriptUse& use);

// Whether the run walks subdirectories: the script's state when the run takes pairs or
// paths from it (No or Yes; FromWindow: the main window's flag, program.searchSubdirs),
// the window's flag otherwise.
bool subdirectoriesInForce(const ProgramOptions& program, const Script* script, const ScriptUse& use);

// Shows the last script file in the boxes: the prefix and its name go into the search and
// replace boxes when the script has pairs and into the mask and path boxes when it has
// path entries. Without a last script file every box that names a script is emptied.
// Returns whether the search box now names a script (the script-search flag).
bool showScriptInInputs(MainInputs& inputs, const Script& script, const std::string& lastScriptFile);

} // namespace tw
