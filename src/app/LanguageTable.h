#pragma once
// The program's user-visible texts by numeric identifier, and the language file that
// replaces them.
//
// The language file is "TWLANG.DLL" in the data directory: UTF-8 text, first line
// "version=a.b.c.d" (the program version it was made for), then one "ID<TAB>text" line per
// replaced text. In a text, "\n" stands for a line break, "\t" for a tab (the menu's
// shortcut column) and "\\" for a backslash. Empty lines and lines starting with "#" are
// skipped. A line that is not of that form, names an identifier the program does not
// know, repeats an identifier already given, is longer than kMaxLanguageLineBytes, is not
// valid UTF-8, holds control characters or leaves the text empty is ignored, so that text
// keeps its built-in form. When the file's version and the program's can both be read and
// differ, no text of the file is used (text kLanguageVersionMismatch says so).
//
// Identifiers. Menu items use their command identifiers (40004 Search, 57670 Contents, ...);
// the strings use the string numbers 2150, 2155, 2162, 2164, 2165, 3013, 3016 and 3018. Texts
// that have no number of their own use these:
//   5001-5005  the menu titles Actions, Edit, View, Flags, Help
//   50002, 50003  the results context menu's "Copy" and "View Context" items, whose texts
//              differ from the menu items 40002 and 40003 (command identifier + 10000)
//   5010-5016  the About box
//   5020-5023  printing
//   5030-5031  the help page
//   command identifier + 100000  the command's hint (status bar) and, after a line break,
//              its tool tip ("Search the files selected by mask and path\nSearch")
#include "app/CommandRules.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tw {

// Texts with a number of their own (the menu items use the CommandId numbers).
enum TextId : int {
    kTextScriptPrefix = 2150,         // "Use Script file: "
    kTextScriptBothOrNeither = 2155,
    kTextViewerNotFound = 2162,
    kTextDefaultSearch = 2164,        // "Search"
    kTextDefaultMask = 2165,          // "*.*"
    kTextOptionsCaption = 3013,       // "Tarnwick Options"
    kTextSelectPath = 3016,           // "Select Path"
    kLanguageVersionMismatch = 3018,

    kTextMenuActions = 5001,
    kTextMenuEdit = 5002,
    kTextMenuView = 5003,
    kTextMenuFlags = 5004,
    kTextMenuHelp = 5005,

    kTextAboutTitle = 5010,           // "About Tarnwick"
    kTextAboutProgram = 5011,         // "Tarnwick" and the version, %1
    kTextAboutDescription = 5012,
    kTextAboutMemory = 5013,          // the label before the free memory
    kTextAboutDisk = 5014,            // the label before the free disk space
    kTextKbFree = 5015,               // "%lu KB Free"
    kTextUnavailable = 5016,          // "Unavailable"

    kTextPrintTitle = 5020,           // the print dialog's title
    kTextPrintFailed = 5021,          // %1: the file
    kTextNoPrinter = 5022,
    kTextPrintTempFailed = 5023,

    kTextHelpMissing = 5030,
    kTextHelpNotOpened = 5031,        // %1: the page

    // Menu command identifiers.
    kCtxCopy = 50002,
    kCtxViewContext = 50003,
};

// A command's hint and tool tip are the text of its identifier plus this.
inline constexpr int kCommandHintOffset = 100000;

inline constexpr const char* kLanguageFileName = "TWLANG.DLL";
inline constexpr size_t kMaxLanguageLineBytes = 4096;
inline constexpr size_t kMaxLanguageFileBytes = 1 << 20; // the rest of a larger file is ignored

class LanguageTable {
public:
    enum class Status {
        BuiltIn,         // no file was read (none, or it could not be opened)
        Loaded,          // the file's valid lines replace their texts
        VersionMismatch, // the file is for another version: only built-in texts
        NotAFile,        // the name is a FIFO, device, directory or link: never read
    };
    struct LoadResult {
        Status status = Status::BuiltIn;
        int usedLines = 0;     // lines that replace a text
        int ignoredLines = 0;  // lines that were not used (see the header)
        std::string fileVersion; // as the file writes it; empty when it has no version line
    };

    // The text for `id`: the language file's, else the built-in one; empty for an
    // identifier the program does not know.
    std::string text(int id) const;
    // The program's own text for `id`, or null.
    static const char* builtIn(int id);

    // Replaces the table's texts by those of the file's content (see the header). The
    // table keeps only the built-in texts when the result is not Loaded.
    LoadResult load(std::string_view content, std::string_view programVersion);
    // The same for the file at `path`; BuiltIn when it does not exist or cannot be read,
    // NotAFile when it is no regular file (it is then not opened, so a FIFO never blocks).
    LoadResult loadFile(const std::string& path, std::string_view programVersion);

private:
    std::map<int, std::string> m_overrides; // only identifiers with a built-in text
};

// The program's version, "a.b.c.d" (compiled in).
std::string_view programVersion();

// The table the windows take their texts from. Set up once at start-up, before any window
// exists; read-only afterwards.
LanguageTable& activeLanguage();

} // namespace tw
