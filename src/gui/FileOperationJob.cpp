#include "gui/FileOperationJob.h"

#include <utility>

namespace tw {

RunJob fileOperationJob(FileOperationRequest request, GuiRunHost& host, RunController& controller)
{
    RunJob job;
    job.heading = controller.runHeading(); // the listed results stay those of the last run
    job.work = [request = std::move(request), &host, &controller](RunDriver&) {
        const FileOperationHooks hooks =
            hostFileOperationHooks(host, [&controller] { return controller.stopRequested(); });
        const FileOperationSummary summary = runFileOperation(realFileSystem(), realFileOps(), request, hooks);
        addFileOperationLines(controller.jobResults(), summary, request.operation);
        return summary.stopped ? RunOutcome::Stopped : RunOutcome::Completed;
    };
    return job;
}

} // namespace tw
