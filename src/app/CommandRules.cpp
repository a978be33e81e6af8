#include "app/CommandRules.h"

namespace tw {

bool isToggleCommand(int id)
{
    return id >= kCmdCaseSensitive && id <= kCmdIgnoreWhitespace;
}

bool commandEnabled(int id, const WindowState& s)
{
    const bool idle = s.idle();
    switch (id) {
    case kCmdSearch:
        // While a search runs the same command is its stop button.
        return idle || s.active == ActiveRun::Search;
    case kCmdReplace:
        // The Replace button is also the stop button of a preview.
        return !s.noReplace && (idle || s.active == ActiveRun::Replace || s.active == ActiveRun::Preview);
    case kCmdPreviewReplace:
        // While a preview runs the same command is its stop button.
        return !s.noReplace && (idle || s.active == ActiveRun::Preview);
    case kCmdTouch:
    case kCmdTouchSelected:
        return idle || s.active == ActiveRun::Touch;
    case kCmdFileOperations:
    case kCmdCopyResults:
    case kCmdPrintResults:
    case kCmdViewHtml:
    case kCmdOpenAssociated:
    case kCmdOpenWith:
        return idle && s.hasResults;
    case kCmdOpenDefaultViewer:
        return idle && s.hasResults && s.defaultViewerSet;
    case kCmdViewContext:
        return s.currentIsHitLine;
    case kCmdCaseSensitive:
    case kCmdRegularExpression:
        return idle && !s.scriptSearch;
    case kCmdWholeWord:
    case kCmdIgnoreWhitespace:
        // Neither applies to a regular expression.
        return idle && !s.regularExpression && !s.scriptSearch;
    default:
        // Exit, the toolbar, the script editor, Options, the subdirectory and archive
        // flags and help: only while idle.
        return idle;
    }
}

} // namespace tw
