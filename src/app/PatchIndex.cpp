#include "app/PatchIndex.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace tw {
namespace {

constexpr size_t kReadChunk = size_t(1) << 20;
constexpr size_t kCachedBlocks = 4;

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// Decodes the C-quoted name starting at s[*pos] == '"' and moves *pos past its closing
// quote; nullopt when the quote is not closed.
std::optional<std::string> quotedAt(std::string_view s, size_t* pos)
{
    std::string name;
    size_t i = *pos + 1;
    while (i < s.size()) {
        const char c = s[i++];
        if (c == '"') {
            *pos = i;
            return name;
        }
        if (c != '\\') {
            name += c;
            continue;
        }
        if (i >= s.size())
            return std::nullopt;
        const char e = s[i++];
        switch (e) {
        case 'a': name += '\a'; break;
        case 'b': name += '\b'; break;
        case 't': name += '\t'; break;
        case 'n': name += '\n'; break;
        case 'v': name += '\v'; break;
        case 'f': name += '\f'; break;
        case 'r': name += '\r'; break;
        default:
            if (e >= '0' && e <= '7') {
                // Up to three octal digits: one byte.
                unsigned value = static_cast<unsigned>(e - '0');
                for (int k = 0; k < 2 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++k)
                    value = value * 8 + static_cast<unsigned>(s[i++] - '0');
                name += static_cast<char>(value & 0xFF);
            } else {
                name += e; // \" and \\ and anything git does not write
            }
        }
    }
    return std::nullopt;
}

std::string_view withoutLineEnd(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    return line;
}

// The name of a "--- " or "+++ " line (the text after it), without `side` ("a/" or
// "b/"); nullopt for /dev/null or a broken quote.
std::optional<std::string> headerName(std::string_view rest, std::string_view side)
{
    std::string name;
    if (!rest.empty() && rest.front() == '"') {
        size_t pos = 0;
        const auto quoted = quotedAt(rest, &pos);
        if (!quoted)
            return std::nullopt;
        name = *quoted;
    } else {
        // Git ends a plain name that holds a space with a tab; a patch with CR LF lines
        // ends it with a CR (a name with a CR of its own would have been quoted).
        if (!rest.empty() && rest.back() == '\r')
            rest.remove_suffix(1);
        if (!rest.empty() && rest.back() == '\t')
            rest.remove_suffix(1);
        if (rest == "/dev/null")
            return std::nullopt;
        name.assign(rest);
    }
    if (startsWith(name, side))
        name.erase(0, side.size());
    if (name.empty())
        return std::nullopt;
    return name;
}

// The second name of a "diff --git " line (the text after it), without "b/".
std::optional<std::string> gitLineName(std::string_view rest)
{
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    size_t pos = 0;
    if (!rest.empty() && rest.front() == '"') {
        if (!quotedAt(rest, &pos) || pos >= rest.size() || rest[pos] != ' ')
            return std::nullopt;
        return headerName(rest.substr(pos + 1), "b/");
    }
    // Both names plain: the same name twice ("a/N b/N") splits in the middle; otherwise
    // the second name starts at the first " b/" or quote.
    if (rest.size() % 2 == 1) {
        const size_t half = rest.size() / 2;
        const std::string_view a = rest.substr(0, half), b = rest.substr(half + 1);
        if (rest[half] == ' ' && startsWith(a, "a/") && startsWith(b, "b/") && a.substr(2) == b.substr(2))
            return headerName(b, "b/");
    }
    for (const std::string_view mark : {std::string_view(" b/"), std::string_view(" \"")}) {
        const size_t at = rest.find(mark);
        if (at != std::string_view::npos)
            return headerName(rest.substr(at + 1), "b/");
    }
    return std::nullopt;
}

// Reads a decimal number of at most 18 digits at s[*pos].
bool numberAt(std::string_view s, size_t* pos, uint64_t* out)
{
    size_t i = *pos;
    uint64_t value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - *pos < 18)
        value = value * 10 + static_cast<uint64_t>(s[i++] - '0');
    if (i == *pos || (i < s.size() && s[i] >= '0' && s[i] <= '9'))
        return false;
    *pos = i;
    *out = value;
    return true;
}

// "@@ -l[,s] +l[,s] @@": a missing count is 1.
bool parseHunkHeader(std::string_view line, PatchHunk* h)
{
    size_t pos = 3; // after "@@ "
    const auto range = [&](char sign, uint64_t* start, uint64_t* count) {
        if (pos >= line.size() || line[pos] != sign)
            return false;
        ++pos;
        if (!numberAt(line, &pos, start))
            return false;
        *count = 1;
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
            if (!numberAt(line, &pos, count))
                return false;
        }
        return true;
    };
    if (!range('-', &h->oldStart, &h->oldCount) || pos >= line.size() || line[pos++] != ' ')
        return false;
    if (!range('+', &h->newStart, &h->newCount))
        return false;
    return startsWith(line.substr(pos), " @@");
}

// The differing middle of two lines: the bytes after the common prefix and before the
// common suffix, moved out to whole UTF-8 sequences. Both start after their sign.
void differingMiddle(std::string_view a, std::string_view b, size_t* aEnd, size_t* bEnd, size_t* begin)
{
    const auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    const size_t shorter = std::min(a.size(), b.size());
    size_t prefix = 0;
    while (prefix < shorter && a[prefix] == b[prefix])
        ++prefix;
    while (prefix > 0 && ((prefix < a.size() && continuation(a[prefix])) || (prefix < b.size() && continuation(b[prefix]))))
        --prefix;
    size_t suffix = 0;
    while (suffix < shorter - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    while (suffix > 0 && (continuation(a[a.size() - suffix]) || continuation(b[b.size() - suffix])))
        --suffix;
    *begin = prefix;
    *aEnd = a.size() - suffix;
    *bEnd = b.size() - suffix;
}

} // namespace

// Lines read from one checkpoint up to the next.
struct PatchIndex::Block {
    size_t section = 0;
    uint64_t firstRow = 0;
    std::string bytes;
    struct Line {
        size_t start = 0, length = 0; // in `bytes`
        bool cut = false;
    };
    std::vector<Line> lines;
};

// The forward pass: takes the patch line by line and fills the index.
class PatchIndex::Builder {
public:
    explicit Builder(PatchIndex& index) : m_index(index) {}

    // `line`: the line's first bytes (at most kMaxLineBytes + 1, its LF when it fits),
    // `length` all of its bytes.
    void take(uint64_t offset, std::string_view line, uint64_t length)
    {
        if (startsWith(line, "diff --git ")) {
            finishSection();
            openSection(offset, false);
            m_gitName = gitLineName(withoutLineEnd(line).substr(11));
        } else if (!m_open) {
            openSection(offset, true);
        }
        PatchSection& s = current();
        const uint64_t row = s.rows++;
        if (row == 0 || m_longBefore || row - m_index.m_checkpoints.back().row >= kCheckpointRows)
            m_index.m_checkpoints.push_back({row, offset});
        m_longBefore = withoutLineEnd(line).size() > kMaxLineBytes;
        s.end = offset + length;
        if (!s.preamble)
            classify(s, row, withoutLineEnd(line), offset, offset + length);
    }

    void finish() { finishSection(); }

private:
    enum class State { Header, InHunk, AfterHunk };

    PatchSection& current() { return m_index.m_sections.back(); }

    void openSection(uint64_t offset, bool preamble)
    {
        PatchSection s;
        s.begin = s.end = offset;
        s.preamble = s.malformed = preamble;
        s.firstHunk = m_index.m_hunks.size();
        s.firstCheckpoint = m_index.m_checkpoints.size();
        s.firstRun = m_index.m_runs.size();
        m_index.m_sections.push_back(std::move(s));
        m_open = true;
        m_state = State::Header;
        m_plusName.reset();
        m_minusName.reset();
        m_gitName.reset();
        m_longBefore = false;
    }

    void finishSection()
    {
        if (!m_open)
            return;
        PatchSection& s = current();
        if (m_state == State::InHunk)
            endHunk(false);
        s.hunkCount = m_index.m_hunks.size() - s.firstHunk;
        s.checkpointCount = m_index.m_checkpoints.size() - s.firstCheckpoint;
        s.runCount = m_index.m_runs.size() - s.firstRun;
        if (!s.preamble) {
            const std::optional<std::string>& name = m_plusName ? m_plusName : m_minusName ? m_minusName : m_gitName;
            if (name)
                s.rel = *name;
            else
                s.malformed = true;
        }
        TW_ASSERT(s.begin <= s.end && s.checkpointCount >= 1);
        m_open = false;
    }

    void classify(PatchSection& s, uint64_t row, std::string_view text, uint64_t lineStart, uint64_t lineEnd)
    {
        if (m_state == State::InHunk) {
            if (takeHunkLine(s, row, text, lineEnd))
                return;
            endHunk(false); // the line goes on as one after the hunk
        }
        if (startsWith(text, "@@ ")) {
            if (startHunk(row, text, lineStart, lineEnd))
                return;
            s.malformed = true;
            return;
        }
        if (m_state == State::AfterHunk) {
            // "\ No newline at end of file" right after a hunk's last line belongs to it.
            if (m_lastInHunk && startsWith(text, "\\")) {
                PatchHunk& h = m_index.m_hunks.back();
                h.end = lineEnd;
                h.rows = row - h.firstRow + 1;
                return;
            }
            m_lastInHunk = false;
            s.malformed = true;
            return;
        }
        headerLine(s, text);
    }

    void headerLine(PatchSection& s, std::string_view text)
    {
        if (startsWith(text, "--- "))
            m_minusName = headerName(text.substr(4), "a/");
        else if (startsWith(text, "+++ "))
            m_plusName = headerName(text.substr(4), "b/");
        else if (startsWith(text, "Binary files ") || startsWith(text, "GIT binary patch"))
            s.binary = true;
    }

    bool startHunk(uint64_t row, std::string_view text, uint64_t lineStart, uint64_t lineEnd)
    {
        PatchHunk h;
        if (!parseHunkHeader(text, &h))
            return false;
        h.begin = lineStart;
        h.end = lineEnd;
        h.firstRow = row;
        h.rows = 1;
        m_oldLeft = h.oldCount;
        m_newLeft = h.newCount;
        m_index.m_hunks.push_back(h);
        m_state = State::InHunk;
        m_run = {};
        if (m_oldLeft == 0 && m_newLeft == 0)
            endHunk(true);
        return true;
    }

    // A line of the hunk's body; false when it cannot be one.
    bool takeHunkLine(PatchSection& s, uint64_t row, std::string_view text, uint64_t lineEnd)
    {
        const char sign = text.empty() ? ' ' : text.front();
        if (sign == ' ' && m_oldLeft > 0 && m_newLeft > 0) {
            --m_oldLeft;
            --m_newLeft;
            flushRun();
        } else if (sign == '-' && m_oldLeft > 0) {
            --m_oldLeft;
            ++s.removed;
            if (m_run.addedCount > 0 || m_run.removedCount == 0)
                flushRun(), m_run.removedRow = row;
            ++m_run.removedCount;
        } else if (sign == '+' && m_newLeft > 0) {
            --m_newLeft;
            ++s.added;
            if (m_run.addedCount == 0)
                m_run.addedRow = row;
            ++m_run.addedCount;
        } else if (sign != '\\') {
            return false;
        }
        PatchHunk& h = m_index.m_hunks.back();
        h.end = lineEnd;
        h.rows = row - h.firstRow + 1;
        if (m_oldLeft == 0 && m_newLeft == 0)
            endHunk(true);
        return true;
    }

    void endHunk(bool complete)
    {
        flushRun();
        m_index.m_hunks.back().complete = complete;
        if (!complete)
            current().malformed = true;
        m_state = State::AfterHunk;
        m_lastInHunk = complete;
    }

    void flushRun()
    {
        if (m_run.removedCount > 0 && m_run.addedCount > 0)
            m_index.m_runs.push_back(m_run);
        m_run = {};
    }

    PatchIndex& m_index;
    bool m_open = false; // a section is being filled (the last of m_index.m_sections)
    State m_state = State::Header;
    bool m_longBefore = false; // the line before was longer than kMaxLineBytes
    bool m_lastInHunk = false; // the line before ended a complete hunk
    uint64_t m_oldLeft = 0, m_newLeft = 0; // lines the open hunk still announces
    ChangeRun m_run; // removed lines, then added lines, of the open hunk
    std::optional<std::string> m_plusName, m_minusName, m_gitName;
};

PatchIndex::PatchIndex() = default;
PatchIndex::~PatchIndex() = default;

bool PatchIndex::open(const std::string& path, FileSystem& fs)
{
    m_cache.clear();
    m_sections.clear();
    m_hunks.clear();
    m_checkpoints.clear();
    m_runs.clear();
    m_size = 0;
    m_path = path;
    m_error.clear();
    int error = 0;
    m_file = fs.openRead(path, &error);
    if (!m_file) {
        m_error = "Cannot open " + path + ": " + std::strerror(error);
        return false;
    }
    // One forward pass; of each line only its first bytes are kept while it is looked at.
    Builder builder(*this);
    std::vector<char> buffer(kReadChunk);
    std::string line;
    uint64_t lineStart = 0, lineLength = 0;
    for (;;) {
        const int64_t got = m_file->read(buffer.data(), buffer.size());
        if (got < 0) {
            m_error = "Cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0)
            break;
        const char* p = buffer.data();
        const char* end = p + got;
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const char* stop = nl ? nl + 1 : end;
            const size_t room = kMaxLineBytes + 1 - line.size(); // line.size() <= kMaxLineBytes + 1
            line.append(p, std::min(static_cast<size_t>(stop - p), room));
            lineLength += static_cast<uint64_t>(stop - p);
            p = stop;
            if (nl) {
                builder.take(lineStart, line, lineLength);
                lineStart += lineLength;
                line.clear();
                lineLength = 0;
            }
        }
    }
    if (lineLength > 0) // a last line without LF
        builder.take(lineStart, line, lineLength);
    builder.finish();
    m_size = lineStart + lineLength;
    return true;
}

std::optional<size_t> PatchIndex::findSection(std::string_view rel) const
{
    for (size_t i = 0; i < m_sections.size(); ++i)
        if (!m_sections[i].preamble && m_sections[i].rel == rel)
            return i;
    return std::nullopt;
}

bool PatchIndex::setReplacements(std::string_view rel, uint64_t count)
{
    const auto i = findSection(rel);
    if (!i)
        return false;
    m_sections[*i].replacements = count;
    return true;
}

bool PatchIndex::status(FileStatus* out) const
{
    return m_file && m_file->status(out);
}

bool PatchIndex::readAt(uint64_t offset, char* buffer, size_t count, size_t* got)
{
    *got = 0;
    if (!m_file || !m_file->seek(static_cast<int64_t>(offset)))
        return false;
    while (*got < count) {
        const int64_t n = m_file->read(buffer + *got, count - *got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *got += static_cast<size_t>(n);
    }
    return true;
}

const PatchIndex::Block* PatchIndex::block(size_t index, uint64_t row)
{
    for (size_t i = 0; i < m_cache.size(); ++i) {
        const Block& b = *m_cache[i];
        if (b.section == index && row >= b.firstRow && row - b.firstRow < b.lines.size()) {
            std::rotate(m_cache.begin(), m_cache.begin() + static_cast<std::ptrdiff_t>(i),
                        m_cache.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return m_cache.front().get();
        }
    }
    const PatchSection& s = m_sections[index];
    const auto first = m_checkpoints.begin() + static_cast<std::ptrdiff_t>(s.firstCheckpoint);
    const auto last = first + static_cast<std::ptrdiff_t>(s.checkpointCount);
    const auto next = std::upper_bound(first, last, row, [](uint64_t r, const Checkpoint& c) { return r < c.row; });
    TW_ASSERT(next != first);
    const Checkpoint& from = *(next - 1);
    const uint64_t rowsTo = next == last ? s.rows : next->row;
    const uint64_t offsetTo = next == last ? s.end : next->offset;
    const uint64_t count = rowsTo - from.row;
    // Every line but the block's last is at most kMaxLineBytes long (a longer one gets a
    // checkpoint after it), so this many bytes hold them all and the shown part of the last.
    TW_ASSERT(count >= 1 && count <= kCheckpointRows);
    const uint64_t want = std::min<uint64_t>(offsetTo - from.offset, count * (kMaxLineBytes + 1));
    auto b = std::make_unique<Block>();
    b->section = index;
    b->firstRow = from.row;
    b->bytes.resize(static_cast<size_t>(want));
    size_t got = 0;
    if (!readAt(from.offset, b->bytes.data(), b->bytes.size(), &got))
        return nullptr;
    b->bytes.resize(got);
    size_t pos = 0;
    for (uint64_t k = 0; k < count && pos < got; ++k) {
        const char* nl = static_cast<const char*>(std::memchr(b->bytes.data() + pos, '\n', got - pos));
        Block::Line line;
        line.start = pos;
        line.length = nl ? static_cast<size_t>(nl - b->bytes.data()) - pos : got - pos;
        // Without its LF in what was read, the line goes on past it unless the section ends.
        line.cut = line.length > kMaxLineBytes || (!nl && from.offset + got < offsetTo);
        line.length = std::min(line.length, kMaxLineBytes);
        pos = nl ? static_cast<size_t>(nl - b->bytes.data()) + 1 : got;
        b->lines.push_back(line);
    }
    if (row - b->firstRow >= b->lines.size())
        return nullptr; // the patch has lost lines since it was indexed
    if (m_cache.size() >= kCachedBlocks)
        m_cache.pop_back();
    m_cache.insert(m_cache.begin(), std::move(b));
    return m_cache.front().get();
}

bool PatchIndex::readRaw(size_t index, uint64_t row, std::string* text, bool* cut)
{
    const Block* b = block(index, row);
    if (!b)
        return false;
    const Block::Line& line = b->lines[static_cast<size_t>(row - b->firstRow)];
    text->assign(b->bytes, line.start, line.length);
    *cut = line.cut;
    return true;
}

PatchLineKind PatchIndex::kindOf(const PatchSection& s, uint64_t row, std::string_view text) const
{
    if (s.preamble)
        return PatchLineKind::Malformed;
    const auto first = m_hunks.begin() + static_cast<std::ptrdiff_t>(s.firstHunk);
    const auto last = first + static_cast<std::ptrdiff_t>(s.hunkCount);
    const auto next = std::upper_bound(first, last, row, [](uint64_t r, const PatchHunk& h) { return r < h.firstRow; });
    if (next == first)
        return PatchLineKind::Header;
    const PatchHunk& h = *(next - 1);
    if (row - h.firstRow >= h.rows)
        return PatchLineKind::Malformed;
    if (row == h.firstRow)
        return PatchLineKind::HunkHeader;
    switch (text.empty() ? ' ' : text.front()) {
    case ' ': return PatchLineKind::Context;
    case '-': return PatchLineKind::Removed;
    case '+': return PatchLineKind::Added;
    case '\\': return PatchLineKind::NoNewline;
    default: return PatchLineKind::Malformed; // the patch changed since it was indexed
    }
}

std::optional<uint64_t> PatchIndex::partnerRow(const PatchSection& s, uint64_t row, bool removed) const
{
    const auto first = m_runs.begin() + static_cast<std::ptrdiff_t>(s.firstRun);
    const auto last = first + static_cast<std::ptrdiff_t>(s.runCount);
    const auto startOf = [removed](const ChangeRun& r) { return removed ? r.removedRow : r.addedRow; };
    const auto next = std::upper_bound(first, last, row, [&](uint64_t r, const ChangeRun& c) { return r < startOf(c); });
    if (next == first)
        return std::nullopt;
    const ChangeRun& run = *(next - 1);
    const uint64_t at = row - startOf(run);
    if (at >= std::min(run.removedCount, run.addedCount))
        return std::nullopt;
    return removed ? run.addedRow + at : run.removedRow + at;
}

bool PatchIndex::readLine(size_t index, uint64_t row, PatchLine* out)
{
    if (index >= m_sections.size() || row >= m_sections[index].rows)
        return false;
    const PatchSection& s = m_sections[index];
    if (!readRaw(index, row, &out->text, &out->cut))
        return false;
    out->kind = kindOf(s, row, out->text);
    out->markBegin = out->markEnd = 0;
    const bool removed = out->kind == PatchLineKind::Removed;
    if (!removed && out->kind != PatchLineKind::Added)
        return true;
    const std::optional<uint64_t> partner = partnerRow(s, row, removed);
    std::string other;
    bool otherCut = false;
    if (!partner || out->cut || !readRaw(index, *partner, &other, &otherCut) || otherCut || other.empty())
        return true;
    const std::string_view self = std::string_view(out->text).substr(1), them = std::string_view(other).substr(1);
    size_t begin = 0, selfEnd = 0, themEnd = 0;
    differingMiddle(self, them, &selfEnd, &themEnd, &begin);
    out->markBegin = 1 + begin;
    out->markEnd = 1 + selfEnd;
    return true;
}

bool PatchIndex::copyTo(File& out)
{
    std::vector<char> buffer(kReadChunk);
    for (uint64_t at = 0; at < m_size;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), m_size - at));
        size_t got = 0;
        if (!readAt(at, buffer.data(), want, &got) || got != want || !out.write(buffer.data(), got))
            return false;
        at += got;
    }
    return true;
}

std::string PatchIndex::unquoteName(std::string_view text)
{
    if (text.empty() || text.front() != '"')
        return std::string(text);
    size_t pos = 0;
    const auto name = quotedAt(text, &pos);
    return name ? *name : std::string(text);
}

} // namespace tw
