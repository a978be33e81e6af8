#pragma once
// The text forms of results lines. Front ends call these instead of reading the markers:
// the output-file form, the standard-output form, the results-list form with the hit range
// to highlight, and the held-back lines as the per-hit question shows them.
#include "results/HeldBackLines.h"
#include "results/ResultEntry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// The plain form of a marked text: the name marker removed (the name after it shown with
// displayName), or else the hit markers replaced by the before/after texts (first
// occurrence of each).
std::string outputForm(std::string_view text, std::string_view beforeHit, std::string_view afterHit);
// Appends the output form of `text` to `out` (no allocation once `out` has grown to the
// longest line: the form of every line shown on a stream or written to the output file).
void appendOutputForm(std::string& out, std::string_view text, std::string_view beforeHit, std::string_view afterHit);

// Terminal colours: the 24-bit foreground SGR sequence of an option colour (0x00BBGGRR),
// and the sequence that ends it.
std::string sgrForeground(uint32_t bgr);
inline constexpr std::string_view kSgrReset = "\x1b[0m";
// The standard-output form for a colour terminal: the name after a name marker in
// `nameColour`, the found text in `hitColour` instead of the before/after texts (each
// followed by kSgrReset, so that no colour stays open at the end of the line); other
// lines as appendOutputForm has them.
void appendColouredForm(std::string& out, std::string_view text, std::string_view nameColour,
                        std::string_view hitColour);

// The line as the output file holds it (ends with CR LF).
std::string outputFileLine(const ResultEntry& entry, std::string_view beforeHit, std::string_view afterHit);
// The line as standard output shows it (ends with LF).
std::string streamLine(const ResultEntry& entry, std::string_view beforeHit, std::string_view afterHit);

// The line as the results list shows it: no markers; the found text, when there is one,
// is text[hitBegin, hitEnd) (hitBegin == npos: nothing to highlight).
// A line with a name marker (file lines, summaries) instead has text[nameBegin, end) drawn
// in the file colour (nameBegin == npos: no such part).
struct ListLine {
    std::string text;
    size_t hitBegin = std::string::npos;
    size_t hitEnd = std::string::npos;
    size_t nameBegin = std::string::npos;
};
// Written over `out`, whose text keeps its capacity from line to line.
void listForm(const ResultEntry& entry, ListLine& out);

// The held-back lines as the per-hit question shows them: each in its plain form, each
// followed by LF.
std::string heldBackText(const HeldBackLines& lines, std::string_view beforeHit, std::string_view afterHit);

// A hit line's marked text with the found text between the markers replaced by `shown`
// (markers kept); without an end marker the replacement runs to the end of the text.
std::string withHitReplaced(std::string text, std::string_view shown);

// What a per-hit question changes, taken apart for showing: the context before the hit,
// the found text, the replacement as the question shows it, and the context after it.
// The question line ("Replace - " and the context with the replacement between the hit
// markers) gives all but the found text; that comes from the hit line (the last held-back
// line, when hit lines are shown), used only when its context matches the question's.
struct HitChange {
    std::string before, found, replacement, after;
    bool foundKnown = false; // `found` came from a matching hit line
};
HitChange hitChange(std::string_view questionLine, const ResultEntry* hitLine);

} // namespace tw
