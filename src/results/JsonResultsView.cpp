#include "results/JsonResultsView.h"

#include "platform/Assert.h"
#include "results/JsonText.h"

#include <cinttypes>
#include <cstdio>

namespace tw {

namespace {

void appendNumber(std::string& out, int64_t value)
{
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%" PRId64, value);
    out.append(digits, static_cast<size_t>(n));
}

// {"secs":S,"nanos":N,"human":"S.NNNNNNs"}
void appendDuration(std::string& out, int64_t nanos)
{
    char text[64];
    const int64_t secs = nanos / 1000000000;
    const int64_t rest = nanos % 1000000000;
    const int n = std::snprintf(text, sizeof text, "{\"secs\":%" PRId64 ",\"nanos\":%" PRId64 ",\"human\":\"%" PRId64
                                ".%06" PRId64 "s\"}",
                                secs, rest, secs, rest / 1000);
    out.append(text, static_cast<size_t>(n));
}

} // namespace

void JsonResultsView::appendLine(const ResultEntry& entry)
{
    m_showedLines = true;
    if (entry.kind == LineKind::ReplaceText && m_matchWaiting && entry.path == m_match.path) {
        writeMatch(&entry.text);
        return;
    }
    if (m_matchWaiting)
        writeMatch(nullptr);
    switch (entry.kind) {
    case LineKind::File:
    case LineKind::ListedFile:
        beginFile(entry.path, entry.archivePath);
        m_fileListed = entry.kind == LineKind::ListedFile;
        return;
    case LineKind::Hit:
        // Hit lines follow their file line; one that does not starts its file here.
        if (!m_inFile || entry.path != m_path || entry.archivePath != m_archivePath)
            beginFile(entry.path, entry.archivePath);
        m_match = entry;
        m_matchWaiting = true;
        return;
    default:
        m_plain.clear();
        appendOutputForm(m_plain, entry.text, {}, {});
        m_aside(m_plain);
        return;
    }
}

void JsonResultsView::finish(const JsonRunTotals& totals)
{
    if (m_matchWaiting)
        writeMatch(nullptr);
    endFile();
    m_line.assign("{\"type\":\"summary\",\"data\":{\"elapsed_total\":");
    appendDuration(m_line, totals.elapsedNanos);
    m_line.append(",\"stats\":");
    appendStats(m_line, m_matchedLines, totals.matches, totals.searches, totals.searchesWithMatch, totals.elapsedNanos,
                m_bytesPrinted);
    // The counts beyond the common format, inside the same stats object.
    m_line.pop_back();
    const std::pair<const char*, long> extra[] = {{"replacements", totals.replacements},
                                                  {"files_replaced", totals.filesReplaced},
                                                  {"file_errors", totals.fileErrors},
                                                  {"files_listed", totals.filesListed},
                                                  {"directories", totals.directories}};
    for (const auto& [name, value] : extra) {
        m_line.append(",\"").append(name).append("\":");
        appendNumber(m_line, value);
    }
    m_line.append("}}}\n");
    send();
}

void JsonResultsView::beginFile(const std::string& path, const std::string& archivePath)
{
    endFile();
    m_path = path;
    m_archivePath = archivePath;
    m_inFile = true;
    m_fileMatches = 0;
    m_fileListed = false;
    m_fileBytesBefore = m_bytesPrinted;
    m_line.assign("{\"type\":\"begin\",\"data\":{");
    appendPath(m_line);
    m_line.append("}}\n");
    send();
}

void JsonResultsView::endFile()
{
    if (!m_inFile)
        return;
    m_line.assign("{\"type\":\"end\",\"data\":{");
    appendPath(m_line);
    m_line.append(",\"binary_offset\":null,\"stats\":");
    // A listed file was not searched.
    appendStats(m_line, m_fileMatches, m_fileMatches, m_fileListed ? 0 : 1, m_fileMatches > 0 ? 1 : 0, 0,
                m_bytesPrinted - m_fileBytesBefore);
    m_line.append("}}\n");
    send();
    m_inFile = false;
}

void JsonResultsView::writeMatch(const std::string* replacement)
{
    TW_ASSERT(m_matchWaiting && m_inFile);
    m_matchWaiting = false;
    const std::string& text = m_match.text;
    const size_t begin = text.find(kHitBegin);
    // The shown context starts hitColumn bytes before the hit, and each of its bytes stands
    // for one byte of the file from there on (bytes that cannot be shown appear as spaces).
    if (begin == std::string::npos || m_match.hitColumn < 0 || static_cast<size_t>(m_match.hitColumn) > begin) {
        m_plain.clear();
        appendOutputForm(m_plain, text, {}, {});
        m_aside(m_plain);
        return;
    }
    const size_t context = begin - static_cast<size_t>(m_match.hitColumn);
    const size_t from = begin + kHitBegin.size();
    const size_t end = text.find(kHitEnd, from);
    const size_t hitEnd = end == std::string::npos ? text.size() : end;
    const std::string_view found(text.data() + from, hitEnd - from);
    m_plain.assign(text, context, begin - context);
    m_plain.append(found);
    if (end != std::string::npos)
        m_plain.append(text, end + kHitEnd.size());

    m_line.assign("{\"type\":\"match\",\"data\":{");
    appendPath(m_line);
    m_line.append(",\"lines\":");
    appendJsonData(m_line, m_plain);
    m_line.append(",\"line_number\":");
    if (m_match.binary)
        m_line.append("null");
    else
        appendNumber(m_line, m_match.lineNumber);
    m_line.append(",\"absolute_offset\":");
    appendNumber(m_line, m_match.fileOffset - m_match.hitColumn);
    m_line.append(",\"submatches\":[{\"match\":");
    appendJsonData(m_line, found);
    m_line.append(",\"start\":");
    appendNumber(m_line, m_match.hitColumn);
    m_line.append(",\"end\":");
    appendNumber(m_line, m_match.hitColumn + static_cast<int64_t>(found.size()));
    if (replacement) {
        m_line.append(",\"replacement\":");
        appendJsonData(m_line, *replacement);
    }
    m_line.append("}]}}\n");
    ++m_fileMatches;
    ++m_matchedLines;
    send();
}

void JsonResultsView::appendPath(std::string& out) const
{
    out.append("\"path\":");
    if (m_archivePath.empty()) {
        appendJsonData(out, m_path);
        return;
    }
    appendJsonData(out, m_archivePath);
    out.append(",\"member\":");
    appendJsonData(out, m_path);
}

void JsonResultsView::appendStats(std::string& out, long matchedLines, long matches, long searches, long withMatch,
                                  int64_t nanos, uint64_t bytesPrinted)
{
    out.append("{\"elapsed\":");
    appendDuration(out, nanos);
    out.append(",\"searches\":");
    appendNumber(out, searches);
    out.append(",\"searches_with_match\":");
    appendNumber(out, withMatch);
    // The bytes read are not counted by the run.
    out.append(",\"bytes_searched\":0,\"bytes_printed\":");
    appendNumber(out, static_cast<int64_t>(bytesPrinted));
    out.append(",\"matched_lines\":");
    appendNumber(out, matchedLines);
    out.append(",\"matches\":");
    appendNumber(out, matches);
    out.push_back('}');
}

void JsonResultsView::send()
{
    if (m_failed)
        return;
    if (!m_write(m_line)) {
        m_failed = true;
        return;
    }
    m_bytesPrinted += m_line.size();
}

} // namespace tw
