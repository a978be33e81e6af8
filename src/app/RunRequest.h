#pragma once
// Builds the SearchRequest of a Search or Replace run from the main window's inputs, the
// options and the saved settings. The desktop program and tarnwick-cli both build their
// requests here, so a run started either way is the same run.
#include "app/MainInputs.h"
#include "app/ScriptInputs.h"
#include "app/SettingsStore.h"
#include "core/ProgramOptions.h"
#include "core/RunDriver.h"
#include "core/SearchRequest.h"

#include <string>

namespace tw {

struct RunRequestInputs {
    const MainInputs& inputs;
    const ProgramOptions& options;
    const MainWindowSettings& saved;
    bool replaceMode = false;
    bool unattended = false; // from the command line: quiet, no questions left to the user
    bool quiet = false;      // "Quiet Mode" for an attended run
    // The script the boxes name (acceptInputs) and what the run takes from it; none: the
    // run is made of the boxes alone.
    const Script* script = nullptr;
    ScriptUse scriptUse = {};
};

// The request of the inputs. A run from a script takes every pair of the script when the
// search box names it (with the script's expression, whose variables are those pairs), and
// every path entry when the path box names it, each with its own masks when the mask box
// names the script too and with the mask box's text otherwise. A path entry whose
// directory did not exist when the script was read has an empty path, which the walk
// starts nowhere from: the entry selects no file (and keeps its place, so the entries
// after it keep their numbers). The options are those in force (optionsInForce).
SearchRequest buildRunRequest(const RunRequestInputs& in);

// The one pair of the main window's boxes and flags; a box showing the binary-mode
// placeholder brings the block kept for it in `blocks`.
SearchPair windowPair(const MainInputs& inputs, const MainWindowSettings& blocks);

// Whether the request lists the selected files instead of searching them: an empty search
// text in the search box. Pairs from a script are always searched.
bool isListing(const SearchRequest& request);

// The exit status of a run started from the command line, as grep gives it: 2 when it did
// not complete (refused, stopped or cancelled), produced a file error line or could not
// write its output; otherwise 0 when it found something (a listing: listed a file) and 1
// when it found nothing. tarnwick-cli and "tarnwick ... /q" exit with it.
int runExitStatus(RunOutcome outcome, const RunCounters& counters, bool listing, bool outputFailed);

// The run's start as the output-file heading shows it: the short date and the long time
// of the user's locale, without the time-zone field.
std::string runStartedText();

} // namespace tw
