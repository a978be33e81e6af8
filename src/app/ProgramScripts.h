#pragma once
// The program's own use of script files: reading a script with the program's context (the
// main window's flags for plain-lines files, the current options under a script's options
// block, the locale's date picture for its dates), and the two scripts the program writes
// itself in the data directory: "TWDUMP.TWS" (the main window's inputs as a one-pair,
// one-path script) and "EXPLORER.TWS" (several dropped files and directories).
#include "app/CommandLine.h"
#include "app/MainInputs.h"
#include "app/ScriptInputs.h"
#include "app/SettingsStore.h"
#include "core/ProgramOptions.h"
#include "script/Script.h"
#include "script/ScriptFile.h"

#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kDumpScriptName = "TWDUMP.TWS";
inline constexpr const char* kExplorerScriptName = "EXPLORER.TWS";

// The short-date picture of the user's locale, with which a script's options block
// writes and reads its dates.
std::string localDatePicture();

// What reading a script takes from the program: the search flags of `inputs`, `options`
// as the base of an options block, and the options codec.
ScriptReadContext scriptReadContext(const MainInputs& inputs, const ProgramOptions& options);

// A loader (for acceptInputs) that reads with scriptReadContext(inputs, options).
ScriptLoader programScriptLoader(const MainInputs& inputs, const ProgramOptions& options);

// A command line's "/C": the named script becomes the last script file of `window`, is read
// with the window's flags and `options`, and is shown in the boxes (showScriptInInputs).
// The options the command line names ("/O", "/B", "n") hold for the script's own options
// too. False, with what to show in `messages`, when the name is empty, the file cannot be
// read or the script has neither pairs nor path entries.
bool takeCommandLineScript(const CommandLineRequest& commandLine, MainWindowSettings& window,
                           const ProgramOptions& options, Script& script, std::vector<std::string>* messages);

// The main window's search text, replace text, flags, whitespace mask (and the binary-mode
// blocks behind placeholders), path and mask as a script of one pair and one path entry.
Script dumpScript(const MainWindowSettings& window);

// Writes dumpScript(window) as "TWDUMP.TWS" in `dataDir` (ending in "/"). Returns the
// message to show, or an empty text on success.
std::string writeDumpScript(const MainWindowSettings& window, const std::string& dataDir);

// A script with one path entry per dropped item that exists, in order: a directory with
// a trailing "/" and the mask "*.*", a file as its directory and its name.
Script explorerScript(const std::vector<std::string>& items);

// Writes explorerScript(items) as "EXPLORER.TWS" in `dataDir` (ending in "/"); `path`
// receives the file's path. Returns the message to show (none of the items exists: the
// script is empty), or an empty text on success.
std::string writeExplorerScript(const std::vector<std::string>& items, const std::string& dataDir,
                                std::string* path);

} // namespace tw
