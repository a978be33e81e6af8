#include "script/SectionScan.h"

namespace tw {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Whether `text` has `prefix` (lower case) at `pos`, compared without regard to case.
bool hasPrefixAt(std::string_view text, size_t pos, std::string_view prefix)
{
    if (text.size() - pos < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[pos + i]) != prefix[i])
            return false;
    return true;
}

} // namespace

std::optional<SectionKind> sectionAt(std::string_view text, size_t pos)
{
    if (pos >= text.size() || text[pos] != '[')
        return std::nullopt;
    if (hasPrefixAt(text, pos, "[search")) {
        const size_t after = pos + 7;
        if (after < text.size() && (text[after] == ' ' || text[after] == ']'))
            return SectionKind::Search;
        return std::nullopt;
    }
    if (hasPrefixAt(text, pos, "[replace"))
        return SectionKind::Replace;
    if (hasPrefixAt(text, pos, "[path"))
        return hasPrefixAt(text, pos, "[path]") ? SectionKind::Path : SectionKind::OtherPath;
    if (hasPrefixAt(text, pos, "[options]"))
        return SectionKind::Options;
    if (hasPrefixAt(text, pos, "[expression]"))
        return SectionKind::Expression;
    if (hasPrefixAt(text, pos, "[end of tarnwick script]"))
        return SectionKind::End;
    return std::nullopt;
}

size_t nextSection(std::string_view text, size_t from)
{
    for (size_t pos = text.find('[', from); pos != std::string_view::npos; pos = text.find('[', pos + 1)) {
        const bool escaped = pos > from && text[pos - 1] == '\\';
        if (!escaped && sectionAt(text, pos))
            return pos;
    }
    return std::string_view::npos;
}

SectionHeader readHeader(std::string_view text, size_t pos)
{
    SectionHeader h;
    const size_t lineFeed = text.find('\n', pos);
    size_t lineEnd = lineFeed == std::string_view::npos ? text.size() : lineFeed;
    h.contentStart = lineFeed == std::string_view::npos ? std::string_view::npos : lineFeed + 1;
    if (lineEnd > pos && text[lineEnd - 1] == '\r')
        --lineEnd;
    const std::string_view line = text.substr(pos, lineEnd - pos);
    const size_t mark = line.find_first_of("/]");
    if (mark == std::string_view::npos)
        return h;
    const size_t close = line.find(']', mark);
    if (line[mark] == '/')
        h.flags = line.substr(mark + 1, (close == std::string_view::npos ? line.size() : close) - mark - 1);
    if (close != std::string_view::npos)
        h.comment = line.substr(close + 1);
    return h;
}

ContentBlock contentBlock(std::string_view text, size_t start)
{
    ContentBlock b;
    if (start > text.size()) {
        b.next = std::string_view::npos;
        return b;
    }
    b.next = nextSection(text, start);
    if (b.next == std::string_view::npos)
        return b;
    size_t end = b.next;
    if (end > start && text[end - 1] == '\n') {
        --end;
        if (end > start && text[end - 1] == '\r')
            --end;
    }
    b.content = text.substr(start, end - start);
    return b;
}

} // namespace tw
