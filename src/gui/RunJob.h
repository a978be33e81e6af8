#pragma once
// One piece of work for the RunController's worker thread (a search, a replace, a file
// listing; anything else that runs through the run driver), with what the controller
// needs to know of it on the GUI thread.
#include "core/RunDriver.h"

#include <functional>
#include <string>

namespace tw {

struct RunJob {
    // Runs on the worker thread with the controller's driver, whose host is the GUI run
    // host and whose results go to the results view; returns the run's outcome.
    std::function<RunOutcome(RunDriver&)> work;
    std::string heading;             // the run heading (RunController::runHeading)
    bool listing = false;            // lists files: its exit status counts files, not hits
    bool usesDefaultPrinter = false; // its output file is "Default Printer": find the printer first
    std::string beforeHit = "<";     // the marks the results' text puts around a hit
    std::string afterHit = ">";
};

} // namespace tw
