#include "results/PrintLayout.h"

#include <algorithm>
#include <cstdint>

namespace tw {

namespace {

bool isContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// The length in bytes of the character at text[i]: one byte, or in UTF-8 a lead byte with
// the continuation bytes after it (at most four bytes; a stray continuation byte is a
// character of its own).
size_t charLength(std::string_view text, size_t i, bool utf8)
{
    size_t n = 1;
    if (utf8 && static_cast<unsigned char>(text[i]) >= 0xC0)
        while (i + n < text.size() && n < 4 && isContinuation(static_cast<unsigned char>(text[i + n])))
            ++n;
    return n;
}

} // namespace

int PrintMetrics::linesPerPage() const
{
    const int height = std::max(lineHeight, 1);
    return std::max(printableHeight / height - 1, 1);
}

std::vector<int> PrintMetrics::tabStops() const
{
    const int64_t w = std::max(printableWidth, 0);
    return {static_cast<int>(w / 4), static_cast<int>(w * 2 / 5), static_cast<int>(w * 3 / 5), static_cast<int>(w)};
}

PrintLayout::PrintLayout(const PrintMetrics& metrics, PageSink sink)
    : m_metrics(metrics), m_sink(std::move(sink)), m_linesPerPage(metrics.linesPerPage()), m_stops(metrics.tabStops())
{
    m_metrics.charWidth = std::max(m_metrics.charWidth, 1);
}

void PrintLayout::addLine(std::string_view text)
{
    const int cw = m_metrics.charWidth;
    const int limit = m_metrics.printableWidth;
    // The next position after a tab at `pos`: the first stop beyond it, or one character
    // on when it is past the last stop (it does not fit then anyway).
    const auto afterTab = [&](int pos) {
        for (const int stop : m_stops)
            if (stop > pos)
                return stop;
        return pos + cw;
    };

    PrintLine line;
    std::string segment;  // characters since the last tab or break
    int segmentX = kPrintLeft;
    int pos = 0;          // drawn width of the line so far
    bool drawnAny = false; // the line holds at least one character (a tab counts)
    const auto closeSegment = [&] {
        if (!segment.empty())
            line.push_back({segmentX, std::move(segment)});
        segment.clear();
    };

    size_t chars = 0;
    for (size_t i = 0; i < text.size() && chars < kPrintLineChars; ++chars) {
        const size_t n = charLength(text, i, m_metrics.utf8);
        const bool tab = text[i] == '\t';
        int next = tab ? afterTab(pos) : pos + cw;
        if (kPrintLeft + next >= limit && drawnAny) {
            // Does not fit: the line so far is drawn, the rest continues on the next line.
            closeSegment();
            emitLine(std::move(line));
            line.clear();
            pos = 0;
            drawnAny = false;
            next = tab ? afterTab(0) : cw;
        }
        if (tab) {
            closeSegment();
        } else {
            if (segment.empty())
                segmentX = kPrintLeft + pos;
            segment.append(text.substr(i, n));
        }
        pos = next;
        drawnAny = true;
        i += n;
    }
    closeSegment();
    emitLine(std::move(line));
}

void PrintLayout::emitLine(PrintLine&& line)
{
    m_page.lines.push_back(std::move(line));
    if (static_cast<int>(m_page.lines.size()) >= m_linesPerPage) {
        m_sink(m_page);
        m_page.lines.clear();
        ++m_pages;
    }
}

void PrintLayout::finish()
{
    if (m_page.lines.empty())
        return;
    m_sink(m_page);
    m_page.lines.clear();
    ++m_pages;
}

std::vector<PrintPage> layoutPrintPages(std::string_view text, const PrintMetrics& metrics)
{
    std::vector<PrintPage> pages;
    PrintLayout layout(metrics, [&](const PrintPage& page) { pages.push_back(page); });
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        layout.addLine(line);
        start = next;
    }
    layout.finish();
    return pages;
}

} // namespace tw
