#include "core/PatchWriter.h"

#include "platform/Assert.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tw {

std::string quotePatchName(const std::string& name)
{
    const bool plain = std::none_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || c == '"' || c == '\\';
    });
    if (plain)
        return name;
    std::string quoted = "\"";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        const char* escape = nullptr;
        switch (c) {
        case '\a': escape = "\\a"; break;
        case '\b': escape = "\\b"; break;
        case '\t': escape = "\\t"; break;
        case '\n': escape = "\\n"; break;
        case '\v': escape = "\\v"; break;
        case '\f': escape = "\\f"; break;
        case '\r': escape = "\\r"; break;
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        default: break;
        }
        if (escape) {
            quoted += escape;
        } else if (b < 0x20 || b == 0x7F) {
            const char octal[] = {'\\', static_cast<char>('0' + (b >> 6)), static_cast<char>('0' + ((b >> 3) & 7)),
                                  static_cast<char>('0' + (b & 7))};
            quoted.append(octal, sizeof octal);
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// Buffered forward reads of a file from any offset; each refill seeks first, so several
// readers can share one file.
class PatchWriter::Reader {
public:
    Reader(File& file, int64_t size) : m_file(file), m_size(size) {}
    int64_t size() const { return m_size; }
    int64_t position() const { return m_pos; }
    bool failed() const { return m_failed; }
    void moveTo(int64_t offset)
    {
        if (offset >= m_bufferStart && offset <= m_bufferStart + static_cast<int64_t>(m_buffer.size()))
            m_pos = offset;
        else {
            m_buffer.clear();
            m_bufferStart = m_pos = offset;
        }
    }
    // The bytes at the position, at most up to `limit`; empty at the limit or on a failure.
    std::pair<const char*, size_t> view(int64_t limit)
    {
        limit = std::min(limit, m_size);
        if (m_pos >= limit)
            return {nullptr, 0};
        if (m_pos >= m_bufferStart + static_cast<int64_t>(m_buffer.size()) && !refill())
            return {nullptr, 0};
        const size_t have = static_cast<size_t>(m_bufferStart + static_cast<int64_t>(m_buffer.size()) - m_pos);
        return {m_buffer.data() + (m_pos - m_bufferStart), std::min(have, static_cast<size_t>(limit - m_pos))};
    }
    void skip(size_t count) { m_pos += static_cast<int64_t>(count); }

private:
    bool refill()
    {
        m_buffer.resize(kBlock);
        const int64_t got = m_file.seek(m_pos) ? m_file.read(m_buffer.data(), kBlock) : -1;
        if (got <= 0) {
            // A file shorter than it was: a failure, as is a read error.
            m_failed = true;
            m_buffer.clear();
            return false;
        }
        m_buffer.resize(static_cast<size_t>(got));
        m_bufferStart = m_pos;
        return true;
    }
    static constexpr size_t kBlock = size_t{64} << 10;
    File& m_file;
    int64_t m_size;
    // Invariant: m_buffer holds the file's bytes [m_bufferStart, m_bufferStart + size).
    std::vector<char> m_buffer;
    int64_t m_bufferStart = 0;
    int64_t m_pos = 0;
    bool m_failed = false;
};

// Walks the original forwards, counting lines and keeping the starts of the last few.
class PatchWriter::LineScan {
public:
    explicit LineScan(Reader& in) : m_in(in) { m_starts.fill(0); }
    int64_t position() const { return m_in.position(); }
    // The number of the line the position is in (1 for the first).
    int64_t line() const { return m_line; }
    // The start of line `n`, one of the last kKept lines up to the current one.
    int64_t lineStart(int64_t n) const
    {
        TW_ASSERT(n <= m_line && n > m_line - static_cast<int64_t>(kKept) && n >= 1);
        return m_starts[static_cast<size_t>(n) % kKept];
    }
    // Moves to `offset` (at or after the position).
    bool advanceTo(int64_t offset) { return walk(offset, false); }
    // Moves past the next line feed, or to the end of the file.
    bool pastLineEnd() { return walk(m_in.size(), true); }

private:
    bool walk(int64_t limit, bool stopAtLineFeed)
    {
        for (;;) {
            const auto [data, size] = m_in.view(limit);
            if (size == 0)
                return !m_in.failed();
            const char* feed = static_cast<const char*>(std::memchr(data, '\n', size));
            if (!feed) {
                m_in.skip(size);
                continue;
            }
            m_in.skip(static_cast<size_t>(feed - data) + 1);
            ++m_line;
            m_starts[static_cast<size_t>(m_line) % kKept] = m_in.position();
            if (stopAtLineFeed)
                return true;
        }
    }
    static constexpr size_t kKept = 4; // a block's line and the context lines before it
    Reader& m_in;
    int64_t m_line = 1;
    std::array<int64_t, kKept> m_starts; // start of line n at n % kKept
};

// The lines of one hunk, and where it stands.
struct PatchWriter::Hunk {
    bool open = false;
    int64_t oldLine = 0, newLine = 0;   // first lines of the hunk
    int64_t oldCount = 0, newCount = 0; // its lines on each side
    int64_t endOffset = 0, endLine = 0; // in the original: after the last changed line
    int64_t lineShift = 0;              // lines of the changed text minus lines of the original so far
    std::string lines;                  // its lines, up to kBodyInMemory; then in m_spool
    int64_t spooled = 0;                // bytes of m_spool in use
};

// Lines of the original [oldStart, oldEnd) (starting with line `oldLine`, and line
// `endLine` starting at oldEnd) became [newStart, newEnd) of the changed text.
struct PatchWriter::Block {
    int64_t oldStart, oldEnd, oldLine, endLine, newStart, newEnd;
    int64_t contextLine, contextStart; // the first line of context before it, and its start
};

void PatchWriter::writeHeader(const std::string& rel)
{
    const std::string a = quotePatchName("a/" + rel), b = quotePatchName("b/" + rel);
    put("diff --git " + a + " " + b + "\n");
    put("--- " + a + "\n+++ " + b + "\n");
}

bool PatchWriter::writeBinary(const std::string& rel)
{
    put("diff --git " + quotePatchName("a/" + rel) + " " + quotePatchName("b/" + rel) + "\n");
    put("Binary files " + quotePatchName("a/" + rel) + " and " + quotePatchName("b/" + rel) + " differ\n");
    return !m_failed;
}

bool PatchWriter::writeText(const std::string& rel, File& original, int64_t originalSize, File& changed,
                            int64_t changedSize, ChangeSpans& spans)
{
    writeHeader(rel);
    Reader scanned(original, originalSize), oldText(original, originalSize), newText(changed, changedSize);
    LineScan scan(scanned);
    Hunk hunk;
    spans.rewind();
    ChangeSpan s;
    bool have = spans.next(s);
    int64_t shift = 0; // changed-text offset minus original offset outside the spans passed
    while (have && !m_failed) {
        // The lines that touch the span, and any later span that touches them.
        if (!scan.advanceTo(s.offset))
            return false;
        Block block{};
        block.oldLine = scan.line();
        block.oldStart = scan.lineStart(block.oldLine);
        block.contextLine = std::max<int64_t>(1, block.oldLine - kContext);
        block.contextStart = scan.lineStart(block.contextLine);
        block.newStart = block.oldStart + shift;
        do {
            shift += s.size - s.length;
            if (s.offset + s.length >= scan.position() && (!scan.advanceTo(s.offset + s.length) || !scan.pastLineEnd()))
                return false;
            have = spans.next(s);
        } while (have && (s.offset < scan.position() || scan.position() == originalSize));
        block.oldEnd = scan.position();
        block.endLine = scan.line();
        block.newEnd = block.oldEnd + shift;
        if (!addBlock(hunk, oldText, newText, block))
            return false;
    }
    if (spans.failed() || (hunk.open && !closeHunk(hunk, oldText)))
        return false;
    return !m_failed;
}

bool PatchWriter::addBlock(Hunk& hunk, Reader& oldText, Reader& newText, const Block& block)
{
    if (hunk.open && block.oldLine - hunk.endLine <= 2 * kContext) {
        // Close enough: the lines between are context of one hunk.
        const int64_t n = copyLines(hunk, oldText, hunk.endOffset, block.oldStart, ' ');
        if (n < 0)
            return false;
        hunk.oldCount += n;
        hunk.newCount += n;
    } else {
        if (hunk.open && !closeHunk(hunk, oldText))
            return false;
        hunk.open = true;
        hunk.oldLine = block.contextLine;
        hunk.newLine = block.contextLine + hunk.lineShift;
        const int64_t n = copyLines(hunk, oldText, block.contextStart, block.oldStart, ' ');
        if (n < 0)
            return false;
        hunk.oldCount = hunk.newCount = n;
    }
    const int64_t removed = copyLines(hunk, oldText, block.oldStart, block.oldEnd, '-');
    const int64_t added = removed < 0 ? -1 : copyLines(hunk, newText, block.newStart, block.newEnd, '+');
    if (added < 0)
        return false;
    hunk.oldCount += removed;
    hunk.newCount += added;
    hunk.lineShift += added - removed;
    hunk.endOffset = block.oldEnd;
    hunk.endLine = block.endLine;
    return true;
}

namespace {

std::string hunkRange(int64_t line, int64_t count)
{
    if (count == 1)
        return std::to_string(line);
    return std::to_string(count == 0 ? line - 1 : line) + "," + std::to_string(count);
}

} // namespace

bool PatchWriter::closeHunk(Hunk& hunk, Reader& oldText)
{
    const int64_t n = copyLines(hunk, oldText, hunk.endOffset, oldText.size(), ' ', kContext);
    if (n < 0)
        return false;
    hunk.oldCount += n;
    hunk.newCount += n;
    put("@@ -" + hunkRange(hunk.oldLine, hunk.oldCount) + " +" + hunkRange(hunk.newLine, hunk.newCount) + " @@\n");
    if (hunk.spooled > 0) {
        // The lines that went to the spool come first, then those still in memory.
        if (!flush() || !m_spool->seek(0))
            return false;
        std::vector<char> piece(kOutBuffer);
        for (int64_t left = hunk.spooled; left > 0;) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(piece.size())));
            if (m_spool->read(piece.data(), want) != static_cast<int64_t>(want) || !m_out.write(piece.data(), want))
                return m_failed = true, false;
            left -= static_cast<int64_t>(want);
        }
    }
    put(hunk.lines);
    hunk.lines.clear();
    hunk.spooled = 0;
    hunk.open = false;
    return !m_failed;
}

int64_t PatchWriter::copyLines(Hunk& hunk, Reader& in, int64_t from, int64_t to, char prefix, int64_t maxLines,
                               int64_t* end)
{
    in.moveTo(from);
    int64_t lines = 0;
    bool atLineStart = true;
    while (maxLines < 0 || lines < maxLines || !atLineStart) {
        const auto [data, size] = in.view(to);
        if (size == 0)
            break;
        if (atLineStart) {
            if (!body(hunk, &prefix, 1))
                return -1;
            ++lines;
            atLineStart = false;
        }
        const char* feed = static_cast<const char*>(std::memchr(data, '\n', size));
        const size_t take = feed ? static_cast<size_t>(feed - data) + 1 : size;
        if (!body(hunk, data, take))
            return -1;
        in.skip(take);
        atLineStart = feed != nullptr;
    }
    if (in.failed())
        return m_failed = true, -1;
    if (!atLineStart) {
        // The file's last line has no line end.
        TW_ASSERT(in.position() == in.size());
        static const char kNoNewline[] = "\n\\ No newline at end of file\n";
        if (!body(hunk, kNoNewline, sizeof kNoNewline - 1))
            return -1;
    }
    if (end)
        *end = in.position();
    return lines;
}

bool PatchWriter::body(Hunk& hunk, const char* data, size_t size)
{
    hunk.lines.append(data, size);
    if (hunk.lines.size() < kBodyInMemory)
        return true;
    if (!m_spool)
        m_spool = m_fs.createScratch("TWP");
    if (!m_spool || !m_spool->seek(hunk.spooled) || !m_spool->write(hunk.lines.data(), hunk.lines.size())) {
        m_failed = true;
        return false;
    }
    hunk.spooled += static_cast<int64_t>(hunk.lines.size());
    hunk.lines.clear();
    return true;
}

bool PatchWriter::put(const char* data, size_t size)
{
    m_buffer.append(data, size);
    return m_buffer.size() < kOutBuffer || flush();
}

bool PatchWriter::flush()
{
    if (!m_failed && !m_buffer.empty() && !m_out.write(m_buffer.data(), m_buffer.size()))
        m_failed = true;
    m_buffer.clear();
    return !m_failed;
}

} // namespace tw
