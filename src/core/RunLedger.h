#pragma once
// Everything that happens on the run's own thread after a file or archive member has been
// searched, in file order: the decision, then counting, the file's closing lines ("Found N
// occurrences.", "No occurrences found!"), the per-pair tallies, the commit of a replaced
// file and the fate of the file's held-back lines; and at the end the summaries.
//
// The order for each report: decide -> only a kept file is counted, shows its lines and
// is committed; a dropped file's lines are discarded and it adds nothing to the totals,
// tallies or summaries (it still counts as searched). Lines are held back until the
// decision in replace runs, and in search runs that have a decision hook; a search run
// without one shows its lines as they come.
//
// The ledger owns the run's changing state: the counters (the driver's), the confirmation
// state and the replace writer.
#include "core/ConfirmationState.h"
#include "core/FileReport.h"
#include "core/ReplaceWriter.h"
#include "core/RunHost.h"
#include "core/RunPlan.h"
#include "platform/FileSystem.h"
#include "results/ResultSink.h"

#include <atomic>
#include <functional>
#include <string>

namespace tw {

class ExpressionFilter;
struct RunCounters;
struct ReplaceSide;

// Whether a scanned file's outcome is kept, from its report (per-pair counters and all).
using FileDecision = std::function<bool(const FileReport&)>;

class RunLedger {
public:
    RunLedger(RunPlan& plan, RunHost& host, ResultSink& results, FileSystem& fs, RunCounters& counters,
              std::atomic<bool>& stop, FileDecision decision);
    ~RunLedger();
    RunLedger(const RunLedger&) = delete;
    RunLedger& operator=(const RunLedger&) = delete;

    ConfirmationState& confirmation() { return m_confirmation; }
    // What a FileSearch of a replace run uses.
    const ReplaceSide& replaceSide() const { return *m_replaceSide; }
    RunCounters& counters() { return m_counters; }
    // Originals a replace run rewrites together; set before prepareReplace.
    void setRewriteBatchLimit(size_t files) { m_rewriteBatchLimit = files; }

    // A script's expression (the request's), parsed and checked for the run's pairs; false,
    // with its message told, when it cannot be used.
    bool prepareExpression();
    // Search runs with a decision hold their files' lines back; false (with the error line
    // out) when the held-back store cannot be made.
    bool prepareSearch();
    // Replace runs: a data directory that can be written and no other run writing files,
    // then the held-back store, the writer and its temporary files. False when the run
    // cannot go on (the cause was told).
    bool prepareReplace();
    // A file's (or member's) lines begin: lines held back until now belong to no file and
    // are shown.
    void fileStarts();
    // The steps after a file, in order; false when the run is to end.
    bool finishFile(const FileReport& report);
    // The closing summaries (and the replace writer's last batch).
    void addSummaries(bool stopped);
    // The clean-up on every way out: held-back lines out, temporary files gone.
    void endRun();

private:
    bool startReplace(const std::string& dataDir);
    // The results hold each file's lines back from now on; false (with the error line out)
    // when the held-back store cannot be made.
    bool beginHoldBack();
    bool decideFile(const FileReport& report);
    // The backup directory of the files of path entry `entry` of the request.
    std::string backupDirectory(size_t entry) const;
    // A kept file: totals, its count line, the per-pair tallies.
    void countFile(const FileReport& report);
    void tallyPairs(const FileReport& report);
    void commitFile(const FileReport& report);
    void flushHeldBack();
    void addSummary(const std::string& text);

    RunPlan& m_plan;
    RunHost& m_host;
    ResultSink& m_results;
    FileSystem& m_fs;
    RunCounters& m_counters;
    std::atomic<bool>& m_stop;
    FileDecision m_decision; // empty: every scanned file is kept
    std::unique_ptr<ExpressionFilter> m_expression; // the script's expression; null: none
    ConfirmationState m_confirmation;
    ReplaceWriter m_writer;
    std::unique_ptr<ReplaceSide> m_replaceSide;
    bool m_holdsBack = false; // the results hold each file's lines back until it is decided
    size_t m_startIndex = 0;  // the start path of the file at hand (commits)
    size_t m_rewriteBatchLimit = 1024;
};

} // namespace tw
