#include "core/ParagraphFormatter.h"

namespace tw {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimRight(const std::string& s)
{
    size_t end = s.size();
    while (end > 0 && isBlank(s[end - 1]))
        --end;
    return s.substr(0, end);
}

std::string trimLeft(const std::string& s)
{
    size_t start = 0;
    while (start < s.size() && isBlank(s[start]))
        ++start;
    return s.substr(start);
}

} // namespace

void ParagraphFormatter::emit(const std::string& line)
{
    m_out += line;
    m_out += "\r\n";
}

void ParagraphFormatter::addLine(const std::string& line)
{
    if (!m_inParagraph) {
        const std::string body = trimLeft(line);
        if (body.empty()) {
            // An empty first line: what is gathered (nothing) and the line itself.
            emit(m_gathered);
            emit(line);
            m_gathered.clear();
            return;
        }
        m_indent = line.substr(0, line.size() - body.size());
        // An indent that leaves no room for a word could never be broken after; such a
        // paragraph is taken without it.
        if (m_indent.size() + 1 >= m_columns) {
            m_indent.clear();
            m_gathered = trimRight(body);
        } else {
            m_gathered = trimRight(line);
        }
        m_inParagraph = true;
    } else if (line.empty()) {
        emit(m_gathered);
        emit(std::string());
        m_gathered.clear();
        m_inParagraph = false;
        return;
    } else {
        m_gathered += ' ';
        m_gathered += trimRight(trimLeft(line));
    }
    breakLines();
}

void ParagraphFormatter::breakLines()
{
    // Every pass writes at least one byte of the gathered text past the indent, so the
    // gathered text gets shorter each time.
    while (m_gathered.size() >= m_columns) {
        size_t breakAt = std::string::npos;
        for (size_t i = m_columns - 1; i >= 1; --i) {
            if (isBlank(m_gathered[i])) {
                breakAt = i;
                break;
            }
        }
        if (breakAt == std::string::npos || breakAt < m_indent.size()) {
            breakAt = m_gathered.size();
            for (size_t i = m_columns - 1; i < m_gathered.size(); ++i) {
                if (isBlank(m_gathered[i])) {
                    breakAt = i;
                    break;
                }
            }
        }
        emit(trimRight(m_gathered.substr(0, breakAt)));
        m_gathered = m_indent + trimLeft(m_gathered.substr(breakAt));
    }
}

void ParagraphFormatter::finish()
{
    if (!m_gathered.empty())
        emit(m_gathered);
    m_gathered.clear();
    m_inParagraph = false;
}

std::string reformatText(const std::string& text, size_t columns)
{
    ParagraphFormatter f(columns);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        const bool last = end == std::string::npos;
        if (last)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!last && !line.empty() && line.back() == '\r')
            line.pop_back();
        f.addLine(line);
        pos = end + 1;
    }
    f.finish();
    return f.output();
}

} // namespace tw
