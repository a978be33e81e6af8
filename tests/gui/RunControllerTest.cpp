// The controller's worker thread: any job runs there through the run driver, and a stop
// asked for at any moment after the start reaches the run.
#include "TestUtil.h"
#include "gui/GuiRunHost.h"
#include "gui/ResultsModel.h"
#include "gui/RunController.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <future>
#include <string>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

// The job, begun on the worker, is held back until the stop has been asked for, so the stop
// arrives before the run clears its stop flag as it starts: the host passes it on again
// at the run's first pump, so the run stops instead of searching every file. A stop that
// came earlier still, before the job began, keeps it from running at all.
TEST(RunController, AStopAskedBeforeTheRunClearsItsFlagStopsTheRun)
{
    TempDir dir;
    for (int i = 0; i < 50; ++i)
        writeFile(dir.file("f" + std::to_string(i) + ".txt"), "needle\n");
    SearchRequest request;
    SearchPair pair;
    pair.searchText = "needle";
    request.pairs.push_back(pair);
    request.pathMasks.push_back({dir.path(), "*.txt"});
    request.options.maxRegexSize = 32767;
    request.threads = 1;

    GuiRunHost host;
    ResultsModel model;
    RunController controller(host, model);
    QSignalSpy finished(&controller, &RunController::runFinished);

    std::promise<void> jobBegun, stopAsked;
    const std::shared_future<void> asked = stopAsked.get_future().share();
    RunJob job = RunController::searchJob(request, "<", ">");
    job.work = [search = std::move(job.work), &jobBegun, asked](RunDriver& driver) {
        jobBegun.set_value();
        asked.wait();
        return search(driver);
    };
    ASSERT_TRUE(controller.start(std::move(job)));
    EXPECT_FALSE(controller.start(request, "<", ">")); // one run at a time
    jobBegun.get_future().wait();
    controller.requestStop();
    stopAsked.set_value();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_NE(controller.lastOutcome(), RunOutcome::Completed); // stopped, or while it prepared
    EXPECT_LT(controller.counters().filesSearched, 50);

    // The next run is not stopped by the last one's stop, and reports its own listing.
    ASSERT_TRUE(controller.start(request, "<", ">"));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(controller.lastOutcome(), RunOutcome::Completed);
    EXPECT_EQ(controller.counters().filesSearched, 50);
    EXPECT_EQ(controller.exitStatus(), 0);
    request.pairs.front().searchText.clear();
    ASSERT_TRUE(controller.start(request, "<", ">"));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(controller.counters().filesListed, 50);
    EXPECT_EQ(controller.exitStatus(), 0);
}

} // namespace
} // namespace tw
