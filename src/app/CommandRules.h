#pragma once
// The main window's commands by identifier, and when each of them may be used. The same
// identifiers name the menu items, the toolbar buttons, the keys and the texts of the
// language file, so a translated menu and a customised toolbar refer to one command.
#include <string_view>

namespace tw {

enum CommandId : int {
    kCmdSearch = 40004,
    kCmdReplace = 40005,
    kCmdTouch = 40006,
    kCmdFileOperations = 40023,
    kCmdExit = 40007,
    kCmdCopyResults = 40002,
    kCmdPrintResults = 40018,
    kCmdViewHtml = 40019,
    kCmdOpenAssociated = 40001,
    kCmdOpenDefaultViewer = 40015,
    kCmdOpenWith = 40016,
    kCmdViewContext = 40003,
    kCmdCustomizeToolbar = 32771,
    kCmdScript = 40017,
    kCmdOptions = 40011,
    kCmdCaseSensitive = 32789,
    kCmdSearchSubdirs = 32790,
    kCmdWholeWord = 32791,
    kCmdRegularExpression = 32792,
    kCmdSearchZips = 32793,
    kCmdIgnoreWhitespace = 32794,
    kCmdHelpContents = 57670,
    kCmdHelpSearch = 40013,
    kCmdAbout = 40014,
    kCmdTouchSelected = 40025, // results context menu only
    kCmdPreviewReplace = 40026,
    kCmdUndoReplace = 40027,
};

// The command whose run is active, if any.
// A preview's Stop is the Replace button, as for a replace.
enum class ActiveRun { None, Search, Replace, Preview, Touch };

// What the enabling rules look at.
struct WindowState {
    ActiveRun active = ActiveRun::None;
    bool noReplace = false;          // "No Replace" is non-zero
    bool hasResults = false;         // the results list is not empty
    bool currentIsHitLine = false;   // the list's current line is a hit line
    bool defaultViewerSet = false;   // a default viewer is set in the options
    bool scriptSearch = false;       // the search box refers to a script
    bool regularExpression = false;  // the regular-expression flag is on

    bool idle() const { return active == ActiveRun::None; }
};

// True when the command may be used in `state`.
bool commandEnabled(int id, const WindowState& state);

// The commands that toggle a flag and show a check mark.
bool isToggleCommand(int id);

} // namespace tw
