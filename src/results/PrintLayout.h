#pragma once
// The pages of a printed text file (the results as "Print Search Results" and the
// "Default Printer" output file print them). All measures are device units of the printer;
// the font is fixed-pitch, so every character is `charWidth` wide.
//
// - A page holds (printableHeight / lineHeight) - 1 lines; line n (from 1) has its top at
//   y = n * lineHeight, so the last line ends above the bottom of the printable area.
// - Each line of the file (at most kPrintLineChars characters, its line end removed) is
//   drawn from x = kPrintLeft. A tab moves to the next tab stop after the current position;
//   the stops lie at 1/4, 2/5 and 3/5 of the printable width and at the full width,
//   measured from the line's start.
// - A line is drawn only as far as kPrintLeft plus its drawn width stays below the
//   printable width: the longest leading part that fits is drawn, and the rest continues
//   on the next line (a tab at the break starts the rest, measured from the line's start
//   again). A single character that does not fit even on an empty line is drawn anyway,
//   so that every line makes progress.
// - After the last line of a page the next page starts. There is no heading or page number.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

inline constexpr int kPrintLeft = 50;              // x of a line's start
inline constexpr size_t kPrintLineChars = 1024;    // longer lines of the file are cut

struct PrintMetrics {
    int printableWidth = 0;  // of the page's printable area
    int printableHeight = 0;
    int charWidth = 1;       // the advance of every character of the fixed-pitch font
    int lineHeight = 1;      // the font's height plus its external leading
    bool utf8 = true;        // the text is UTF-8 (a character is one code point); else one byte each

    // At least 1, however small the page.
    int linesPerPage() const;
    // The four tab stops, from the line's start.
    std::vector<int> tabStops() const;
};

// A piece of a printed line without tabs, drawn with its left edge at x.
struct PrintSegment {
    int x = 0;
    std::string text;
    bool operator==(const PrintSegment&) const = default;
};
using PrintLine = std::vector<PrintSegment>; // empty: an empty line

// Line i of `lines` is drawn with its top at y = (i + 1) * lineHeight.
struct PrintPage {
    std::vector<PrintLine> lines;
};

// Lays out the file's lines one at a time and hands over each page once it is full (and
// the last one on finish()), so memory stays bounded whatever the file's length.
class PrintLayout {
public:
    using PageSink = std::function<void(const PrintPage&)>;
    PrintLayout(const PrintMetrics& metrics, PageSink sink);

    // One line of the file, without its line end.
    void addLine(std::string_view line);
    // Hands over the last page, if it holds any line; no page at all for an empty file.
    void finish();
    int pagesDone() const { return m_pages; }

private:
    void emitLine(PrintLine&& line);

    PrintMetrics m_metrics;
    PageSink m_sink;
    int m_linesPerPage;
    std::vector<int> m_stops;
    PrintPage m_page; // the page being filled; never holds m_linesPerPage lines between calls
    int m_pages = 0;  // pages handed over
};

// The pages of a whole file's text (lines split at LF, a CR before it removed).
std::vector<PrintPage> layoutPrintPages(std::string_view text, const PrintMetrics& metrics);

} // namespace tw
