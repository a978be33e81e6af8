#pragma once
// The File Operations dialog's request as a job of the RunController: it runs on the
// worker thread, asks before replacing an existing file and shows each file's progress
// through the GUI run host, stops at Stop between files, and adds its error lines and one
// summary line below the results already listed.
#include "core/FileOperations.h"
#include "gui/GuiRunHost.h"
#include "gui/RunController.h"
#include "gui/RunJob.h"

namespace tw {

RunJob fileOperationJob(FileOperationRequest request, GuiRunHost& host, RunController& controller);

} // namespace tw
