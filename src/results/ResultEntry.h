#pragma once
// One line of the results list: its kind, the file and place it is about, and its text with
// the in-band markers the renderers (ResultText.h) turn into what the user sees. Readers use
// the fields; only the renderers look at the markers.
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

inline constexpr std::string_view kNameMarker = "\x01\x01"; // before the path of a file line; starts a summary line
inline constexpr std::string_view kHitBegin = "\x01\x02";   // the found text starts here
inline constexpr std::string_view kHitEnd = "\x01\x03";     // the found text ends here
inline constexpr std::string_view kFileLinePrefix = "Processing file : ";

enum class LineKind : uint8_t {
    Other,       // a line of none of the kinds below
    File,        // "Processing file : name" before the first line of a file
    ListedFile,  // one file of a file listing (same text as a file line)
    Hit,         // "Line N - ..." or "Offset 0x... - ..." with the found text between the hit markers
    ReplaceText, // the replace text shown under a hit
    Count,       // "Found N occurrences." or "No occurrences found!"
    Error,       // a file error, a temporary-file error, lost held-back lines
    Recovery,    // where the safety copy of a file whose rewrite failed is kept
    Done,        // a whole-file operation that was performed (prepend, append, reformat)
    Summary,     // the run's totals (shown without their leading name marker)
    PairSummary, // the totals of one search/replace pair of a script
    Notice,      // "Execution interrupted by the user!"
};

struct ResultEntry {
    std::string text{};        // the line with its markers
    int hitLength = 0;         // hit lines: length of the hit in the file; 0 for other lines
    LineKind kind = LineKind::Other;
    std::string path{};        // the file the line is about; empty when it is about no one file
    std::string archivePath{}; // the archive that holds `path`; empty for plain files
    bool binary = false;       // hit lines: found in a binary file
    long lineNumber = 0;       // hit lines of text files: the line of the hit (from 1); else 0
    int64_t fileOffset = -1;   // hit lines: absolute offset of the hit in the file; else -1
    int hitColumn = -1;        // hit lines: where the found text starts in the shown context
                               // (bytes after the "Line N - " prefix, markers not counted); else -1

    // The file line of `path` (inside `archivePath` when that is not empty).
    static ResultEntry fileLine(const std::string& path, const std::string& archivePath = {});
    // One file of a file listing (a member of `archivePath` when that is not empty).
    static ResultEntry listedFile(const std::string& path, const std::string& archivePath = {});
    // Makes this the listing line of a plain file, written over the old one so that its
    // strings keep their capacity (a listing of many files allocates nothing per file).
    void setListedFile(std::string_view path);
    static ResultEntry replaceText(const std::string& text, const std::string& path);
    static ResultEntry count(const std::string& text, const std::string& path);
    static ResultEntry error(const std::string& text, const std::string& path = {});
    static ResultEntry recovery(const std::string& text, const std::string& path);
    static ResultEntry done(const std::string& text, const std::string& path);
    // A summary line: the text follows the name marker.
    static ResultEntry summary(const std::string& text);
    static ResultEntry pairSummary(const std::string& text);
    static ResultEntry notice(const std::string& text);
};

// A file name as it may appear in text: control bytes (below 0x20, and 0x7F) become "?",
// so a name cannot move the terminal's cursor, colour it or break the line markers. The
// exact path stays with the line where it is kept.
std::string displayName(std::string_view name);
// The same, appended to `out`.
void appendDisplayName(std::string& out, std::string_view name);

} // namespace tw
