#pragma once
// The way from the work on a file (FileSearch) to the run: straight on the run's own
// thread, or recorded by a worker of a threaded search and replayed in file order.
#include "core/FileReport.h"
#include "core/RunHost.h"
#include "platform/FileSystem.h"
#include "results/ResultStream.h"

#include <atomic>
#include <string>

namespace tw {

class ResultRecorder;
class RunLedger;
struct RunCounters;

// Where the work on a file sends its lines, messages, counts and reports: straight to the
// run (results list, host, the run's counters and ledger), or into a worker's recorder.
// Exactly one of `recorder` and `counters` is set.
struct Lane {
    ResultStream& results;
    RunHost& host;
    ResultRecorder* recorder = nullptr; // set: everything is recorded for the run's thread
    RunCounters* counters = nullptr;    // straight: the run's counters
    RunLedger* ledger = nullptr;        // straight: takes each report (null while listing)
    DirectoryCursor* cursor = nullptr;  // search runs: opens the files of one directory after another

    void countSearched();
    void countError();
    void countArchive();
    // The lines that follow are those of `path` (after its file line).
    void startFile(const std::string& path, const std::string& archivePath = {});
    // A file error line (no file line in front), counted; with `asMessage` also a message.
    void fileError(const std::string& text, const std::string& path, bool asMessage, bool quiet);
    // Hands a member's report on; false when the run is to end.
    bool handOn(const FileReport& report, const std::atomic<bool>& stop);
};

} // namespace tw
