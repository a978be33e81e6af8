#pragma once
// The paragraph algorithm of the reformat operation.
#include <cstddef>
#include <string>

namespace tw {

// The paragraph algorithm of the reformat, fed one line (without its line end) at a time.
// Written lines end in CR LF.
class ParagraphFormatter {
public:
    explicit ParagraphFormatter(size_t columns) : m_columns(columns == 0 ? 1 : columns) {}
    void addLine(const std::string& line);
    // End of the input: writes what is still gathered.
    void finish();
    // Output written so far; the caller may take it and clear it.
    std::string& output() { return m_out; }

private:
    void breakLines();
    void emit(const std::string& line);

    size_t m_columns;         // N > 0
    bool m_inParagraph = false; // a paragraph has started; m_gathered holds its unwritten text
    std::string m_gathered;   // starts with m_indent after the first break
    std::string m_indent;     // leading whitespace of the paragraph's first line, shorter than N - 1
    std::string m_out;
};

// The whole reformat of a text (lines end at LF; a CR before the LF is dropped).
std::string reformatText(const std::string& text, size_t columns);

} // namespace tw
