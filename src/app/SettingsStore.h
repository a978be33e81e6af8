#pragma once
// The per-user settings: ProgramOptions and the main window's remembered values, kept
// in QSettings under organisation "Pellworth Software Inc." and application "TW32", in
// the groups "Settings", "Flags" and "Options".
#include "app/MainInputs.h"
#include "app/OptionSchema.h"
#include "core/ProgramOptions.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSettings;

namespace tw {

inline constexpr const char* kSettingsOrganization = "Pellworth Software Inc.";
inline constexpr const char* kSettingsApplication = "TW32";
// The regular-expression size limit a fresh process starts with.
inline constexpr int kDefaultMaxRegexSize = 32767;
// The Options sheet's pages; "Last Tab" holds the index of one of them.
inline constexpr int kOptionsPageCount = 5;

struct MainWindowSettings {
    MainInputs inputs;            // the four texts, four search flags, whitespace mask, "Search Zips"
    std::string lastScriptFile;   // "Last Script File"
    // "Last BM Script File": the script last applied in the binary-mode editor; absent
    // until one is, and then written with the rest.
    std::optional<std::string> lastBmScriptFile;
    // Only read: they take effect when set in the store by hand and are never written.
    bool noReplace = false;         // "No Replace"
    std::string zipMask = "*.zip";  // "ZIP Mask"
    std::string zipFileMask;        // "ZIP File Mask"; empty: the main mask applies
    int maxDisplayChars = 512;      // "Max Display Chars"
    bool quietMode = false;         // "Quiet Mode"
    bool flatToolbar = true;        // "Flat Toolbar"
    // "Binary Search" and "Binary Replace": the binary-mode blocks as escape-dialect text,
    // at most kMaxBinaryBlock characters; written at close with the rest.
    std::string binarySearchBlock;
    std::string binaryReplaceBlock;
};

inline constexpr size_t kMaxBinaryBlock = 32767;

// A window rectangle in screen coordinates; all zero means "none saved, centre it".
struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool isEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
};

// A recent-item list as loaded for one input box.
struct RecentItems {
    std::vector<std::string> items; // item 1 first
    int current = -1;               // index of the box's current text, -1 when none
};

// Puts `text` at the top of a recent-item list, as each accepted run does: an empty text
// is not added; a script reference ("Use Script file: ...") replaces any other script
// reference, any other text an entry equal to it ignoring case. The list is not trimmed
// here; saving writes only the first "Max Items Saved" entries.
void addRecentItem(std::vector<std::string>& items, const std::string& text);

// The user's settings file, where QSettings keeps the application's values:
// "Pellworth Software Inc./TW32.conf" in $XDG_CONFIG_HOME (a relative value counts from the
// home directory; unset or empty: ~/.config).
QString userSettingsFile();

// Why the settings file at `path` cannot be used, as the message that says so; nothing
// when it is a regular file or does not exist yet. Anything else there (a FIFO, a device,
// a directory, a link) is never opened: reading a FIFO would wait for a writer forever.
std::optional<std::string> settingsFileProblem(const QString& path);

class SettingsStore {
public:
    // The user's store (userSettingsFile()), or, when `configFile` is given, an INI file at
    // that path (tests use a temporary one). When the file is not usable (see
    // settingsFileProblem) the store is detached: every value reads as absent and nothing
    // is written.
    explicit SettingsStore(const QString& configFile = QString());
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Reads every option with the record's current value as the default ("Max Reg Expr"
    // defaults to `maxRegexSize`, the process-wide limit), then fills the derived
    // defaults: an empty viewer becomes "xdg-open", an empty unzip directory the
    // temporary directory with a trailing "/".
    void loadOptions(ProgramOptions& options, int maxRegexSize = kDefaultMaxRegexSize) const;
    void saveOptions(const ProgramOptions& options);

    // Reads the main window's values with the record's current values as defaults.
    void loadMainWindow(MainWindowSettings& values) const;
    // Writes the texts, the four search flags, the whitespace mask, "Last Script File",
    // "Last BM Script File" (when set), "Search Zips" and the binary-mode blocks; the
    // read-only values are left alone.
    void saveMainWindow(const MainWindowSettings& values);

    // `boxName` is "Search_string", "Replace_string", "Mask" or "Path".
    RecentItems loadRecentItems(const std::string& boxName, int maxItemsSaved) const;
    void saveRecentItems(const std::string& boxName, const std::string& currentText,
                         const std::vector<std::string>& items, int maxItemsSaved);

    // `name` is "Window Position", "View Context Position" or "Preview Position" (group
    // "Options").
    WindowRect loadWindowRect(const std::string& name) const;
    void saveWindowRect(const std::string& name, const WindowRect& rect);

    // "ToolBar" (group "Settings"): the toolbar's saved arrangement, empty when absent.
    QByteArray loadToolbar() const;
    void saveToolbar(const QByteArray& blob);

    // "Last Tab": the Options sheet page active when the sheet last closed; 0 when absent,
    // not a number, or no page index.
    int loadLastTab() const;
    void saveLastTab(int page);

    // Writes pending changes to the backing file.
    void sync();
    // The backing file.
    QString fileName() const { return m_fileName; }
    // Why the store is detached from its file, or nothing when it is not.
    const std::optional<std::string>& problem() const { return m_problem; }

private:
    QString m_fileName;
    std::optional<std::string> m_problem;
    std::unique_ptr<QSettings> m_settings; // null exactly when the store is detached
};

} // namespace tw
