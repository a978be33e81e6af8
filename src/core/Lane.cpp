#include "core/Lane.h"

#include "core/ResultRecorder.h"
#include "core/RunDriver.h"
#include "core/RunLedger.h"
#include "platform/Assert.h"

namespace tw {

void Lane::countSearched()
{
    TW_ASSERT((recorder == nullptr) != (counters == nullptr));
    if (recorder)
        recorder->fileSearched();
    else
        ++counters->filesSearched;
}

void Lane::countError()
{
    if (recorder)
        recorder->fileError();
    else
        ++counters->fileErrors;
}

void Lane::countArchive()
{
    if (recorder)
        recorder->archiveOpened();
    else
        ++counters->archivesDone;
}

void Lane::startFile(const std::string& path, const std::string& archivePath)
{
    // Lines held back so far belong to no file (an archive's error line): they are out
    // before this file's lines, whatever becomes of the file.
    if (ledger)
        ledger->fileStarts();
    results.setPendingFile(path, archivePath);
}

void Lane::fileError(const std::string& text, const std::string& path, bool asMessage, bool quiet)
{
    countError();
    results.addLine(ResultEntry::error(text, path));
    if (asMessage)
        host.message(text, quiet);
}

bool Lane::handOn(const FileReport& report, const std::atomic<bool>& stop)
{
    if (!recorder)
        return ledger->finishFile(report);
    recorder->fileEnd(report);
    return !stop.load();
}

} // namespace tw
