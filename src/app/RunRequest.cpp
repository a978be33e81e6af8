#include "app/RunRequest.h"

#include <algorithm>
#include <QDateTime>
#include <QLocale>

namespace tw {

SearchRequest buildRunRequest(const RunRequestInputs& in)
{
    const Script* script = in.scriptUse.inUse() ? in.script : nullptr;
    SearchRequest request;
    request.replaceMode = in.replaceMode;
    request.options = optionsInForce(in.options, script, in.scriptUse);
    request.quiet = in.unattended || in.quiet; // every unattended run is quiet
    request.unattended = in.unattended;
    request.searchSubdirectories = request.options.searchSubdirs;
    request.searchZips = in.inputs.searchZips;
    request.maxDisplayChars = in.saved.maxDisplayChars;
    request.threads = static_cast<size_t>(std::max(request.options.threads, 0));
    request.startedText = runStartedText();
    request.zipMask = in.saved.zipMask;
    request.zipFileMask = in.saved.zipFileMask;
    if (script && in.scriptUse.pairs) {
        request.pairsFromScript = true;
        request.pairs = script->pairs;
        request.expression = script->expression;
    } else {
        request.pairs.push_back(windowPair(in.inputs, in.saved));
    }
    if (script && in.scriptUse.paths) {
        request.pathsFromScript = true;
        request.masksFromScript = in.scriptUse.masks;
        for (const PathMaskPair& entry : script->paths)
            request.pathMasks.push_back(PathMaskPair{entry.path, in.scriptUse.masks ? entry.mask : in.inputs.mask});
    } else {
        request.pathMasks.push_back(PathMaskPair{in.inputs.path, in.inputs.mask});
    }
    return request;
}

SearchPair windowPair(const MainInputs& in, const MainWindowSettings& blocks)
{
    SearchPair pair;
    pair.searchText = in.searchText;
    pair.replaceText = in.replaceText;
    pair.caseSensitive = in.caseSensitive;
    pair.wholeWord = in.wholeWord;
    pair.regularExpression = in.regularExpression;
    pair.ignoreWhitespace = in.ignoreWhitespace;
    pair.ignoreWhitespaceMask = in.ignoreWhitespaceMask;
    if (in.searchText == kBinaryPlaceholder)
        pair.binarySearchBlock = blocks.binarySearchBlock;
    if (in.replaceText == kBinaryPlaceholder)
        pair.binaryReplaceBlock = blocks.binaryReplaceBlock;
    return pair;
}

bool isListing(const SearchRequest& request)
{
    return !request.pairsFromScript && (request.pairs.empty() || request.pairs.front().searchText.empty());
}

int runExitStatus(RunOutcome outcome, const RunCounters& counters, bool listing, bool outputFailed)
{
    if (outcome != RunOutcome::Completed || outputFailed || counters.fileErrors > 0)
        return 2;
    return (listing ? counters.filesListed : counters.totalHits) > 0 ? 0 : 1;
}

std::string runStartedText()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    // The long time picture without its time-zone field: hours, minutes and seconds.
    const QString timePicture = locale.timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
    return (locale.toString(now.date(), QLocale::ShortFormat) + " " + locale.toString(now.time(), timePicture))
        .toStdString();
}

} // namespace tw
