#include "app/LanguageTable.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>

namespace tw {

namespace {

struct BuiltInText {
    int id;
    const char* text;
};

// Sorted by identifier.
constexpr BuiltInText kBuiltIn[] = {
    {kTextScriptPrefix, "Use Script file: "},
    {kTextScriptBothOrNeither,
     "The search strings and the replace strings must either both come from a script or neither."},
    {kTextViewerNotFound,
     "Byteglass could not be found.\nDownload a free copy from https://byteglass.example.org/ and put it on your "
     "PATH."},
    {kTextDefaultSearch, "Search"},
    {kTextDefaultMask, "*.*"},
    {kTextOptionsCaption, "Tarnwick Options"},
    {kTextSelectPath, "Select Path"},
    {kLanguageVersionMismatch,
     "Language DLL version doesn not match that of the program.\n"
     "Please get the language file made for this version from the Pellworth Software download page."},
    {kTextMenuActions, "&Actions"},
    {kTextMenuEdit, "&Edit"},
    {kTextMenuView, "&View"},
    {kTextMenuFlags, "F&lags"},
    {kTextMenuHelp, "&Help"},
    {kTextAboutTitle, "About Tarnwick"},
    {kTextAboutProgram, "Tarnwick version %1"},
    {kTextAboutDescription, "Finds and replaces text across many files."},
    {kTextAboutMemory, "Available memory:"},
    {kTextAboutDisk, "Free disk space:"},
    {kTextKbFree, "%lu KB Free"},
    {kTextUnavailable, "Unavailable"},
    {kTextPrintTitle, "Print Search Results"},
    {kTextPrintFailed, "Error printing file %1"},
    {kTextNoPrinter, "No printer is available."},
    {kTextPrintTempFailed, "Error writing to temp file"},
    {kTextHelpMissing, "The help page could not be found: it is installed with the program as "
                       "share/tarnwick/tarnwick.html."},
    {kTextHelpNotOpened, "The help page %1 could not be opened."},
    {kCmdCustomizeToolbar, "&Customize Toolbar..."},
    {kCmdCaseSensitive, "&Case Sensitive"},
    {kCmdSearchSubdirs, "&Search Subdirectories"},
    {kCmdWholeWord, "&Whole Word Match"},
    {kCmdRegularExpression, "&Regular Expression"},
    {kCmdSearchZips, "Search &ZIP Files"},
    {kCmdIgnoreWhitespace, "&Ignore Whitespace"},
    {kCmdOpenAssociated, "&Open with Associated Viewer"},
    {kCmdCopyResults, "&Copy Search Results"},
    {kCmdViewContext, "&Context"},
    {kCmdSearch, "&Search\tCtrl+F"},
    {kCmdReplace, "&Replace\tCtrl+H"},
    {kCmdTouch, "&Touch...\tCtrl+T"},
    {kCmdExit, "E&xit"},
    {kCmdOptions, "Op&tions..."},
    {kCmdHelpSearch, "&Search"},
    {kCmdAbout, "&About"},
    {kCmdOpenDefaultViewer, "Open with &Default Viewer"},
    {kCmdOpenWith, "Open &with ..."},
    {kCmdScript, "&Script..."},
    {kCmdPrintResults, "&Print Search Results"},
    {kCmdViewHtml, "View Results as &HTML"},
    {kCmdFileOperations, "&File Operations..."},
    {kCmdTouchSelected, "&Touch Selected Files"},
    {kCmdPreviewReplace, "Pre&view Replace\tCtrl+Shift+H"},
    {kCmdUndoReplace, "&Undo Last Replace..."},
    {kCtxCopy, "&Copy Search Results to clipboard"},
    {kCtxViewContext, "&View Context"},
    {kCmdHelpContents, "&Contents\tF1"},
    {kCommandHintOffset + kCmdCustomizeToolbar, "Choose and arrange the toolbar buttons\nCustomize Toolbar"},
    {kCommandHintOffset + kCmdCaseSensitive, "Match upper and lower case exactly\nCase Sensitive"},
    {kCommandHintOffset + kCmdSearchSubdirs, "Search the subdirectories of the path too\nSearch Subdirectories"},
    {kCommandHintOffset + kCmdWholeWord, "Find whole words only\nWhole Word"},
    {kCommandHintOffset + kCmdRegularExpression, "Read the search text as a regular expression\nRegular Expression"},
    {kCommandHintOffset + kCmdSearchZips, "Search inside archives too\nSearch ZIPs"},
    {kCommandHintOffset + kCmdIgnoreWhitespace, "Let any run of whitespace match any other\nIgnore Whitespace"},
    {kCommandHintOffset + kCmdOpenAssociated, "Open the selected file with its associated program\nOpen"},
    {kCommandHintOffset + kCmdCopyResults, "Copy the search results to the clipboard\nCopy Results"},
    {kCommandHintOffset + kCmdViewContext, "Show the lines around the current hit\nView Context"},
    {kCommandHintOffset + kCmdSearch, "Search the files selected by mask and path\nSearch"},
    {kCommandHintOffset + kCmdReplace, "Replace in the files selected by mask and path\nReplace"},
    {kCommandHintOffset + kCmdTouch, "Set the date and time of the files selected by mask and path\nTouch"},
    {kCommandHintOffset + kCmdExit, "Quit the program\nExit"},
    {kCommandHintOffset + kCmdOptions, "Change the program's options\nOptions"},
    {kCommandHintOffset + kCmdHelpSearch, "Search the help\nHelp Search"},
    {kCommandHintOffset + kCmdAbout, "Show the version, the free memory and the free disk space\nAbout"},
    {kCommandHintOffset + kCmdOpenDefaultViewer, "Open the selected file with the default viewer\nDefault Viewer"},
    {kCommandHintOffset + kCmdOpenWith, "Open the selected file with a program of your choice\nOpen With"},
    {kCommandHintOffset + kCmdScript, "Edit and use a script of search and replace pairs\nScript"},
    {kCommandHintOffset + kCmdPrintResults, "Print the search results\nPrint Results"},
    {kCommandHintOffset + kCmdViewHtml, "Show the search results as a page in the web browser\nView as HTML"},
    {kCommandHintOffset + kCmdFileOperations, "Copy, move, rename or delete the files in the results\nFile Operations"},
    {kCommandHintOffset + kCmdPreviewReplace, "Show the changes a replace would make, without writing anything\nPreview Replace"},
    {kCommandHintOffset + kCmdUndoReplace, "Take back the files of the last replace run\nUndo Last Replace"},
    {kCommandHintOffset + kCmdHelpContents, "Show the help\nHelp"},
};

static_assert(std::is_sorted(std::begin(kBuiltIn), std::end(kBuiltIn),
                             [](const BuiltInText& a, const BuiltInText& b) { return a.id < b.id; }));

// "a.b.c.d", four decimal numbers of at most 65535 (the four words of a file version).
std::optional<std::array<unsigned, 4>> parseVersion(std::string_view text)
{
    std::array<unsigned, 4> v{};
    size_t part = 0, digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            v[part] = v[part] * 10 + static_cast<unsigned>(c - '0');
            if (++digits > 5 || v[part] > 0xFFFF)
                return std::nullopt;
        } else if (c == '.' && digits > 0 && part < 3) {
            ++part;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (part != 3 || digits == 0)
        return std::nullopt;
    return v;
}

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) without
// control characters other than tab.
bool isCleanUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return false;
            ++i;
            continue;
        }
        size_t n;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x80 && cp < 0xA0) // C1 control characters
            return false;
        i += n;
    }
    return true;
}

// "\n", "\t" and "\\" in a text; any other backslash stays as it is.
std::string unescape(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char n = s[i + 1];
            if (n == 'n' || n == 't' || n == '\\') {
                out += n == 'n' ? '\n' : n == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The identifier before the tab: decimal digits only, with a built-in text.
std::optional<int> parseId(std::string_view s)
{
    if (s.empty() || s.size() > 5)
        return std::nullopt;
    int id = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        id = id * 10 + (c - '0');
    }
    if (!LanguageTable::builtIn(id))
        return std::nullopt;
    return id;
}

} // namespace

const char* LanguageTable::builtIn(int id)
{
    const auto it = std::lower_bound(std::begin(kBuiltIn), std::end(kBuiltIn), id,
                                     [](const BuiltInText& t, int key) { return t.id < key; });
    return it != std::end(kBuiltIn) && it->id == id ? it->text : nullptr;
}

std::string LanguageTable::text(int id) const
{
    if (const auto it = m_overrides.find(id); it != m_overrides.end())
        return it->second;
    const char* t = builtIn(id);
    return t ? t : "";
}

LanguageTable::LoadResult LanguageTable::load(std::string_view content, std::string_view version)
{
    m_overrides.clear();
    LoadResult result;
    result.status = Status::Loaded;
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    bool first = true;
    std::map<int, std::string> overrides;
    size_t at = 0;
    while (at < content.size()) {
        size_t end = content.find('\n', at);
        if (end == std::string_view::npos)
            end = content.size();
        std::string_view line = content.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const bool isFirst = first;
        first = false;
        if (isFirst && line.substr(0, 8) == "version=") {
            result.fileVersion = std::string(line.substr(8, 64));
            const auto mine = parseVersion(version);
            const auto theirs = parseVersion(line.substr(8));
            if (mine && theirs && *mine != *theirs) {
                result.status = Status::VersionMismatch;
                return result;
            }
            continue;
        }
        if (line.empty() || line.front() == '#')
            continue;
        const size_t tab = line.find('\t');
        std::optional<int> id;
        if (line.size() <= kMaxLanguageLineBytes && tab != std::string_view::npos)
            id = parseId(line.substr(0, tab));
        const std::string_view raw = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
        if (!id || overrides.count(*id) || raw.empty() || !isCleanUtf8(raw)) {
            // A repeated identifier keeps its first text.
            ++result.ignoredLines;
            continue;
        }
        overrides.emplace(*id, unescape(raw));
        ++result.usedLines;
    }
    m_overrides = std::move(overrides);
    return result;
}

LanguageTable::LoadResult LanguageTable::loadFile(const std::string& path, std::string_view version)
{
    m_overrides.clear();
    int error = 0;
    const std::unique_ptr<File> in = realFileSystem().openRead(path, &error);
    if (!in) {
        LoadResult result;
        // openRead refuses a link (ELOOP) and anything that is not a regular file (EINVAL).
        if (error == ELOOP || error == EINVAL)
            result.status = Status::NotAFile;
        return result;
    }
    std::string content(kMaxLanguageFileBytes + 1, '\0');
    size_t got = 0;
    while (got < content.size()) {
        const int64_t n = in->read(content.data() + got, content.size() - got);
        if (n < 0)
            return {};
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    content.resize(got);
    if (content.size() > kMaxLanguageFileBytes) {
        // Too large: the lines that lie wholly within the limit count, the cut one does not.
        content.resize(kMaxLanguageFileBytes);
        const size_t lastBreak = content.rfind('\n');
        content.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }
    return load(content, version);
}

std::string_view programVersion()
{
    return TW_VERSION;
}

LanguageTable& activeLanguage()
{
    static LanguageTable table;
    return table;
}

} // namespace tw
