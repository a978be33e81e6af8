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
        return !s.noReplace && (idle || s.active == ActiveRun::Replace);
    case kCmdPreviewReplace:
        // The desktop program cannot run a preview yet (its window opens on a patch, but no
        // run makes one for it): the command stays disabled until it can.
        return false;
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
