#pragma once
// One line of the results list: its kind, the file and place it is about, and its text with
// the in-band markers the renderers (ResultText.h) turn into what the user sees. Readers use
// the fields; only the renderers look at the markers.
#include "results/ResultFields.h"

#include <string>
#include <string_view>
#include <utility>

namespace tw {

inline constexpr std::string_view kNameMarker = "\x01\x01"; // before the path of a file line; starts a summary line
inline constexpr std::string_view kHitBegin = "\x01\x02";   // the found text starts here
inline constexpr std::string_view kHitEnd = "\x01\x03";     // the found text ends here
inline constexpr std::string_view kFileLinePrefix = "Processing file : ";

// The scalar fields (kind, place of the hit) are the ResultFields block; `e.fields()` is
// that block as a whole.
struct ResultEntry : ResultFields {
    std::string text{};        // the line with its markers
    std::string path{};        // the file the line is about; empty when it is about no one file
                               // (hit lines of an archive member: the member's name)
    std::string archivePath{}; // the archive that holds `path`; empty for plain files

    ResultEntry() = default;
    // A line of kind Other with `text` (and the hit length `hitLength`).
    ResultEntry(std::string lineText, int lineHitLength) : text(std::move(lineText)) { hitLength = lineHitLength; }

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
