#include "core/ContextPager.h"

#include "core/ArchiveMemberSource.h"
#include "core/ConfirmationState.h"
#include "core/DecodingSource.h"
#include "core/ReplaceWriter.h"
#include "core/RunTexts.h"
#include "core/SafeRewrite.h"
#include "engine/CharClasses.h"
#include "platform/ArchiveReader.h"
#include "platform/Assert.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw {

// The decoded text of a hit's file or member, read forwards from any offset. A plain file
// whose text is its bytes (no UTF-16) is also read at offsets directly.
class ContextPager::Reader {
public:
    Reader(FileSystem& fs, const ContextHit& hit, bool detect) : m_fs(fs), m_hit(hit), m_detect(detect) {}

    // Opens the text and reads its first bytes (the form is known then).
    bool open(std::string* error)
    {
        const std::string& name = m_hit.archivePath.empty() ? m_hit.path : m_hit.archivePath;
        std::unique_ptr<File> file = m_fs.openRead(name);
        if (!file) {
            *error = "Error opening " + name;
            return false;
        }
        if (m_hit.archivePath.empty()) {
            m_hasStatus = file->status(&m_status);
            m_file = std::move(file);
            m_raw = std::make_unique<FileSource>(*m_file);
        } else if (!openMember(std::move(file), error)) {
            return false;
        }
        m_source = std::make_unique<DecodingSource>(*m_raw, m_detect);
        m_pending.resize(kBlock);
        const int64_t got = m_source->read(m_pending.data(), m_pending.size());
        if (got < 0)
            return readFailed(error);
        m_pending.resize(static_cast<size_t>(got));
        return true;
    }

    bool seekable() const { return m_file && !m_source->isUtf16(); }
    bool utf16() const { return m_source->isUtf16(); }
    int64_t markLength() const { return m_source->form() == TextForm::Utf8Bom ? 3 : 0; }
    const FileStatus* status() const { return m_hasStatus ? &m_status : nullptr; }

    // Decoded bytes from the current position on: count, fewer at the end, -1 on error.
    int64_t read(uint8_t* buffer, size_t count)
    {
        int64_t got;
        if (m_pendingPos < m_pending.size()) {
            got = static_cast<int64_t>(std::min(count, m_pending.size() - m_pendingPos));
            std::memcpy(buffer, m_pending.data() + m_pendingPos, static_cast<size_t>(got));
            m_pendingPos += static_cast<size_t>(got);
        } else {
            got = m_direct ? m_file->read(buffer, count) : m_source->read(buffer, count);
        }
        if (got > 0)
            m_pos += got;
        return got;
    }

    // Moves to decoded offset `offset` (at or after the current one unless seekable).
    bool moveTo(int64_t offset)
    {
        m_at = m_filled = 0;
        m_ended = false;
        if (seekable()) {
            m_pending.clear();
            m_pendingPos = 0;
            m_direct = true;
            m_pos = offset;
            return m_file->seek(offset + markLength());
        }
        uint8_t scratch[16384];
        while (m_pos < offset) {
            const int64_t got = read(scratch, static_cast<size_t>(std::min<int64_t>(offset - m_pos, sizeof scratch)));
            if (got <= 0)
                return got == 0;
        }
        return true;
    }

    // The block cursor over what read() hands out: more() makes bytes current (1), or
    // says the text ended (0) or could not be read (-1).
    int more()
    {
        if (m_at < m_filled)
            return 1;
        if (m_block.empty())
            m_block.resize(kBlock);
        const int64_t got = read(m_block.data(), m_block.size());
        if (got < 0)
            return -1;
        m_at = 0;
        m_filled = static_cast<size_t>(got);
        m_ended = got == 0;
        return got > 0 ? 1 : 0;
    }
    bool ended() const { return m_ended; }
    size_t at() const { return m_at; }
    size_t filled() const { return m_filled; }
    const char* current() const { return reinterpret_cast<const char*>(m_block.data() + m_at); }
    void take(size_t count)
    {
        TW_ASSERT(count <= m_filled - m_at);
        m_at += count;
    }
    // The index of the next LF in the current bytes, or filled() when none is there.
    size_t findLf() const
    {
        const void* lf = std::memchr(m_block.data() + m_at, '\n', m_filled - m_at);
        return lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - m_block.data()) : m_filled;
    }

    bool readFailed(std::string* error)
    {
        *error = "Error reading file " + (m_hit.archivePath.empty() ? m_hit.path : memberText(m_hit.archivePath, m_hit.path));
        return false;
    }

private:
    bool openMember(std::unique_ptr<File> file, std::string* error)
    {
        std::string why;
        m_archive = ArchiveReader::open(std::move(file), &why);
        ArchiveMember member;
        while (m_archive) {
            const ArchiveReader::Step step = m_archive->next(&member);
            if (step != ArchiveReader::Step::Member)
                break;
            if (member.name == m_hit.path && member.isRegular && !member.encrypted) {
                m_raw = std::make_unique<ArchiveMemberSource>(*m_archive);
                return true;
            }
        }
        return readFailed(error);
    }

    FileSystem& m_fs;
    const ContextHit& m_hit;
    bool m_detect;
    std::unique_ptr<File> m_file;             // a plain file
    std::unique_ptr<ArchiveReader> m_archive; // a member's archive
    std::unique_ptr<ByteSource> m_raw;        // what the decoder reads
    std::unique_ptr<DecodingSource> m_source;
    FileStatus m_status;
    bool m_hasStatus = false;
    // The first decoded bytes, read by open(); handed out first.
    std::vector<uint8_t> m_pending;
    size_t m_pendingPos = 0;
    bool m_direct = false; // reads go to the file itself (after a seek)
    int64_t m_pos = 0;     // decoded offset of the next byte read() hands out
    // The block of more(): m_block[m_at, m_filled) is current; m_ended once a read gave 0.
    std::vector<uint8_t> m_block;
    size_t m_at = 0, m_filled = 0;
    bool m_ended = false;
};

namespace {

bool isLineEnd(uint8_t c) { return c == '\r' || c == '\n'; }

// A page or an edit split at LF: each piece without its LF; a CR before the LF stays in
// the piece. The last piece is what follows the last LF (possibly empty).
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> pieces;
    size_t from = 0;
    for (;;) {
        const size_t lf = text.find('\n', from);
        if (lf == std::string_view::npos) {
            pieces.push_back(text.substr(from));
            return pieces;
        }
        pieces.push_back(text.substr(from, lf - from));
        from = lf + 1;
    }
}

std::string_view withoutCr(std::string_view piece)
{
    return !piece.empty() && piece.back() == '\r' ? piece.substr(0, piece.size() - 1) : piece;
}

} // namespace

ContextPager::ContextPager(FileSystem& fs, int contextLines, bool detectUtf16)
    : m_fs(fs), m_n(std::clamp(contextLines, 1, 50)), m_detect(detectUtf16)
{
}

ContextPager::~ContextPager() = default;

bool ContextPager::setError(const std::string& text)
{
    m_error = text;
    return false;
}

std::string ContextPager::shownPath() const
{
    return m_hit.archivePath.empty() ? m_hit.path : memberText(m_hit.archivePath, m_hit.path);
}

std::string ContextPager::linesText() const
{
    char text[80];
    std::snprintf(text, sizeof text, " (&lines %ld-%ld)", m_page.first, m_page.last);
    return text;
}

bool ContextPager::open(const ContextHit& hit)
{
    const ContextHit before = m_hit;
    m_hit = hit;
    const long first = hit.line > m_n ? hit.line - m_n : 1;
    if (load(first, -1, false))
        return true;
    m_hit = before;
    return false;
}

bool ContextPager::pageDown()
{
    if (m_page.atEnd)
        return true;
    return load(m_page.last + 1, m_page.end, m_page.cut);
}

bool ContextPager::pageUp()
{
    if (m_page.first <= 1)
        return true;
    const long first = m_page.first - 2 * m_n - 1;
    int64_t start = -1;
    if (first > 1 && !findLineStartBack(m_page.start, m_page.first - first + 1, &start))
        return false;
    return first <= 1 ? load(1, -1, false) : load(first, start, false);
}

bool ContextPager::findLineStartBack(int64_t before, long lines, int64_t* start)
{
    // The start of the line `lines` lines above the one at `before`: just after the
    // `lines`-th LF before it, found block by block backwards. Only a plain file can be
    // read backwards; a decoded text or a member is counted again from line 1.
    Reader reader(m_fs, m_hit, m_detect);
    if (!reader.open(&m_error))
        return setError("Error opening " + shownPath());
    if (!reader.seekable())
        return true;
    std::vector<uint8_t> block(kBlock);
    long found = 0;
    int64_t end = before;
    while (end > 0) {
        const auto count = static_cast<size_t>(std::min<int64_t>(end, kBlock));
        if (!reader.moveTo(end - static_cast<int64_t>(count)) ||
            reader.read(block.data(), count) != static_cast<int64_t>(count))
            return setError("Error opening " + shownPath());
        for (size_t i = count; i-- > 0;) {
            if (block[i] == '\n' && ++found == lines) {
                *start = end - static_cast<int64_t>(count) + static_cast<int64_t>(i) + 1;
                return true;
            }
        }
        end -= static_cast<int64_t>(count);
    }
    return true; // fewer lines than counted (the file changed): from line 1
}

bool ContextPager::load(long first, int64_t start, bool skipLine)
{
    Reader reader(m_fs, m_hit, m_detect);
    if (!reader.open(&m_error))
        return false;
    Page page;
    page.first = first;
    page.status = reader.status() ? *reader.status() : FileStatus{};
    if (start > 0 && !reader.moveTo(start))
        return reader.readFailed(&m_error);
    page.start = start < 0 ? 0 : start;
    long line = start < 0 ? 1 : first;
    if (!skipLines(reader, first, skipLine, &line, &page.start))
        return reader.readFailed(&m_error);
    long lines = 0;
    bool partial = false;
    if (line >= first && !collectLines(reader, page, &lines, &partial))
        return reader.readFailed(&m_error);
    // The page ends the file when nothing follows it.
    if (!page.cut && !reader.ended() && reader.more() < 0)
        return reader.readFailed(&m_error);
    page.atEnd = !page.cut && reader.ended();
    page.end = page.start + static_cast<int64_t>(page.raw.size());
    page.last = std::max(first, first + lines + (partial ? 1 : 0) - 1);
    TW_ASSERT(page.end >= page.start && page.last >= page.first);
    m_page = std::move(page);
    m_utf16 = reader.utf16();
    m_markLength = reader.markLength();
    makeDisplay();
    m_error.clear();
    return true;
}

bool ContextPager::skipLines(Reader& reader, long first, bool skipLine, long* line, int64_t* pos)
{
    // Passes over the lines before the first shown one (and the rest of a cut line).
    while (*line < first || skipLine) {
        const int step = reader.more();
        if (step <= 0)
            return step == 0;
        const size_t lf = reader.findLf();
        const size_t next = lf < reader.filled() ? lf + 1 : lf;
        *pos += static_cast<int64_t>(next - reader.at());
        reader.take(next - reader.at());
        if (lf < reader.filled()) {
            if (skipLine)
                skipLine = false;
            else
                ++*line;
        }
    }
    return true;
}

bool ContextPager::collectLines(Reader& reader, Page& page, long* lines, bool* partial)
{
    const long wanted = 2 * m_n + 1;
    size_t lineLength = 0; // bytes of the current line, LF not counted
    while (*lines < wanted) {
        const int step = reader.more();
        if (step < 0)
            return false;
        if (step == 0)
            break;
        const size_t lf = reader.findLf();
        const size_t take = lf - reader.at();
        if (lineLength + take > kBlock) {
            // The line is cut here and ends the page.
            page.raw.append(reader.current(), kBlock - lineLength);
            reader.take(kBlock - lineLength);
            page.cut = true;
            break;
        }
        lineLength += take;
        const size_t next = lf < reader.filled() ? lf + 1 : lf;
        page.raw.append(reader.current(), next - reader.at());
        reader.take(next - reader.at());
        if (next > lf) {
            ++*lines;
            lineLength = 0;
        }
    }
    *partial = lineLength > 0 || page.cut;
    return true;
}

void ContextPager::makeDisplay()
{
    const CharClasses& cc = activeCharClasses();
    const std::string& raw = m_page.raw;
    m_display.clear();
    m_display.reserve(raw.size() + raw.size() / 16);
    m_insertedAt.clear();
    m_droppedCr = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const auto c = static_cast<uint8_t>(raw[i]);
        if (c == '\n') {
            if (i == 0 || raw[i - 1] != '\r') {
                m_insertedAt.push_back(i);
                m_display += '\r';
            }
            m_display += '\n';
        } else if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            m_display += '\r';
        } else if (c == '\r' && i + 1 == raw.size()) {
            m_droppedCr = true; // the last line's trailing CR
        } else if (c < 0x20 ? c != '\t' : c == 0x7F) {
            m_display += cc.shown[c] == '\0' ? ' ' : cc.shown[c];
        } else {
            m_display += static_cast<char>(c);
        }
    }
}

bool ContextPager::selection(size_t* begin, size_t* end) const
{
    const std::string& raw = m_page.raw;
    int64_t at = -1;
    if (m_hit.offset >= 0) {
        at = m_hit.offset;
        // The hit length leaves out the line ends a hit begins with.
        while (at >= m_page.start && at < m_page.end && isLineEnd(static_cast<uint8_t>(raw[at - m_page.start])))
            ++at;
    } else if (m_hit.line >= m_page.first && m_hit.line <= m_page.last) {
        size_t lineStart = 0;
        for (long l = m_page.first; l < m_hit.line; ++l) {
            const size_t lf = raw.find('\n', lineStart);
            if (lf == std::string::npos)
                return false;
            lineStart = lf + 1;
        }
        at = m_page.start + static_cast<int64_t>(lineStart) + m_hit.column;
    }
    if (at < m_page.start || at >= m_page.end || raw.empty())
        return false;
    const auto from = static_cast<size_t>(at - m_page.start);
    const size_t to = std::min(raw.size(), from + static_cast<size_t>(std::max(m_hit.length, 0)));
    // Display offsets: the CRs inserted before a position move it on; the dropped CR is
    // the last raw byte, so only the very end can lie beyond it.
    auto display = [&](size_t x) {
        const auto inserted = std::lower_bound(m_insertedAt.begin(), m_insertedAt.end(), x) - m_insertedAt.begin();
        return std::min(x + static_cast<size_t>(inserted), m_display.size());
    };
    *begin = display(from);
    *end = std::max(*begin, display(to));
    return true;
}

bool ContextPager::canSave() const
{
    return m_hit.archivePath.empty() && !m_utf16 && m_page.status.isRegular && !isReadOnlyMode(m_page.status.mode);
}

std::string ContextPager::newRangeBytes(std::string_view shown, std::string_view edited, bool* ok) const
{
    // Lines the edit left as they were keep the file's bytes and line ends: the equal lines
    // at the start and at the end, and between them the longest common run of lines. A
    // changed or new line ends as the file's line it takes the place of, or the line before.
    const std::vector<std::string_view> file = splitLines(m_page.raw);
    const std::vector<std::string_view> before = splitLines(shown);
    const std::vector<std::string_view> after = splitLines(edited);
    *ok = before.size() == file.size();
    if (!*ok)
        return {};
    auto same = [&](size_t i, size_t j) { return withoutCr(before[i]) == withoutCr(after[j]); };
    size_t head = 0;
    while (head < before.size() && head < after.size() && same(head, head))
        ++head;
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           same(before.size() - 1 - tail, after.size() - 1 - tail))
        ++tail;
    const size_t mb = before.size() - head - tail, ma = after.size() - head - tail;
    // Longest common subsequence of the middle lines; none when the table would be huge.
    std::vector<uint32_t> lcs;
    const bool align = mb > 0 && ma > 0 && mb * ma <= (size_t{1} << 22);
    if (align) {
        lcs.assign((mb + 1) * (ma + 1), 0);
        for (size_t i = mb; i-- > 0;)
            for (size_t j = ma; j-- > 0;)
                lcs[i * (ma + 1) + j] = same(head + i, head + j) ? lcs[(i + 1) * (ma + 1) + j + 1] + 1
                                        : std::max(lcs[(i + 1) * (ma + 1) + j], lcs[i * (ma + 1) + j + 1]);
    }
    // The line end after file line i when another line follows it: its own, or for the
    // last piece (which has none) that of the line before it.
    auto ending = [&](size_t i) -> std::string_view {
        if (i + 1 < file.size())
            return file[i].ends_with('\r') ? "\r\n" : "\n";
        return file.size() >= 2 && file[file.size() - 2].ends_with('\r') ? "\r\n" : "\n";
    };
    struct Piece {
        std::string_view text, end;
    };
    std::vector<Piece> pieces;
    auto keep = [&](size_t i) { pieces.push_back({file[i], i + 1 < file.size() ? "\n" : ending(i)}); };
    for (size_t i = 0; i < head; ++i)
        keep(i);
    size_t i = 0, j = 0;
    while (i < mb || j < ma) {
        if (align && i < mb && j < ma && same(head + i, head + j)) {
            keep(head + i);
            ++i, ++j;
        } else if (j < ma && (i == mb || !align || lcs[i * (ma + 1) + j + 1] >= lcs[(i + 1) * (ma + 1) + j])) {
            // The line end of the file line it takes the place of, else of the line before.
            const size_t near = i < mb ? head + i : head + i > 0 ? head + i - 1 : 0;
            pieces.push_back({withoutCr(after[head + j]), ending(std::min(near, file.size() - 1))});
            ++j;
        } else {
            ++i; // a line the edit removed
        }
    }
    for (size_t k = before.size() - tail; k < before.size(); ++k)
        keep(k);
    std::string out;
    for (size_t k = 0; k < pieces.size(); ++k) {
        out += pieces[k].text;
        if (k + 1 < pieces.size())
            out += pieces[k].end;
    }
    return out;
}

SaveOutcome ContextPager::save(std::string_view shown, std::string_view edited, const ContextSaveSettings& settings)
{
    SaveOutcome outcome;
    const std::string failed = "Error saving " + m_hit.path;
    if (!canSave()) {
        outcome.message = failed;
        return outcome;
    }
    // The file must be the one read for the page, unchanged since the search (or since our
    // own last save) and since the page was read, with the shown bytes still in place.
    const FileTime trusted = m_trustedPath == m_hit.path ? m_trustedSince : 0;
    std::unique_ptr<File> original = m_fs.openRead(m_hit.path);
    FileStatus now;
    std::string current(m_page.raw.size(), '\0');
    const bool same = original && original->status(&now) && unchangedSince(m_page.status, now) &&
                      now.lastWrite <= std::max(settings.searchEnded, trusted) &&
                      original->seek(m_markLength + m_page.start) &&
                      (current.empty() || original->read(current.data(), current.size()) ==
                                              static_cast<int64_t>(current.size())) &&
                      current == m_page.raw;
    if (!same) {
        outcome.status = SaveStatus::Modified;
        outcome.message = kContextModifiedText;
        return outcome;
    }
    bool ok = false;
    const std::string range = newRangeBytes(shown, edited, &ok);
    std::string note;
    if (!ok || !commitSave(*original, range, settings, &note)) {
        outcome.message = note.empty() ? failed : failed + "\n\n" + note;
        return outcome;
    }
    FileStatus written;
    if (m_fs.status(m_hit.path, &written)) {
        m_trustedSince = std::max(trusted, written.lastWrite);
        m_trustedPath = m_hit.path;
    }
    // The hit's place may have moved; the page is read again from its first line.
    m_hit.offset = -1;
    m_hit.line = 0;
    if (!load(m_page.first, m_page.start, false))
        outcome.message = m_error;
    outcome.status = SaveStatus::Saved;
    return outcome;
}

namespace {

// Keeps what the writer reports; only what quiet mode would still show is told.
class SaveHost final : public RunHost, public ResultStream {
public:
    void message(const std::string& text, bool suppressedByQuiet) override
    {
        if (!suppressedByQuiet)
            notes += (notes.empty() ? "" : "\n") + text;
    }
    Answer ask(Question, const std::string&, const HeldBackLines&) override { return Answer::No; }
    void setPendingFile(const std::string&, const std::string&) override {}
    void emitPendingFileLine() override {}
    void addLine(const ResultEntry&) override {}
    std::string notes;
};

} // namespace

bool ContextPager::commitSave(File& original, const std::string& range, const ContextSaveSettings& settings,
                              std::string* note)
{
    if (settings.dataDir.empty())
        return false;
    // The new content whole, in an unnamed temporary file: the bytes before the range, the
    // range, the bytes after it.
    std::unique_ptr<File> content = m_fs.createScratch("TW");
    const int64_t head = m_markLength + m_page.start;
    const int64_t tailFrom = m_markLength + m_page.end;
    if (!content || copySegment(original, 0, head, *content) != head ||
        !content->write(range.data(), range.size()) || copySegment(original, tailFrom, -1, *content) < 0)
        return false;
    const int64_t newSize = head + static_cast<int64_t>(range.size()) + (m_page.status.size - tailFrom);

    ProgramOptions options;
    options.promptMode = ConfirmationState::kNoPrompts;
    options.backupPath = settings.backupPath;
    if (!options.backupPath.empty() && options.backupPath.back() != '/')
        options.backupPath += '/';
    SaveHost host;
    ConfirmationState confirmation;
    confirmation.startRun(options.promptMode);
    ReplaceWriter writer(m_fs, realFileOps(), host, host, confirmation);
    writer.startRun(options, true, settings.dataDir);
    CommitInput in;
    in.path = m_hit.path;
    in.startPath = directoryOf(m_hit.path);
    in.backupDir = options.backupPath;
    in.status = m_page.status;
    in.output = content.get();
    in.replacements = 1;
    in.sizeChange = m_page.status.size - newSize;
    const CommitResult result = writer.CommitFile(in);
    writer.endRun();
    *note = host.notes;
    return result == CommitResult::Replaced && writer.errorLines() == 0;
}

} // namespace tw
