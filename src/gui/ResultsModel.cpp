#include "gui/ResultsModel.h"

#include "engine/CharClasses.h"
#include "results/ResultText.h"

#include <QByteArrayView>

#include <algorithm>

namespace tw {

ResultsModel::ResultsModel(QObject* parent) : QAbstractListModel(parent) {}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QString ResultsModel::decode(const char* bytes, size_t length) const
{
    const auto n = static_cast<qsizetype>(length);
    // Single-byte code pages are shown byte for byte; Latin-1 matches them in the
    // printable range that results lines hold almost always.
    return m_utf8 ? QString::fromUtf8(bytes, n) : QString::fromLatin1(bytes, n);
}

QString ResultsModel::decodeRow(const Row& row, size_t length) const
{
    const char* bytes = m_chunks[row.chunk].data() + row.offset;
    if (row.latin1)
        return QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    return decode(bytes, length);
}

QString ResultsModel::shownText(const Row& row) const
{
    return decodeRow(row, row.textLength);
}

void ResultsModel::storeText(const std::string& text, Row& row)
{
    if (m_chunks.empty() || m_chunks.back().size() + text.size() > m_chunks.back().capacity()) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkBytes, text.size()));
    }
    std::string& chunk = m_chunks.back();
    row.chunk = static_cast<uint32_t>(m_chunks.size() - 1);
    row.offset = static_cast<uint32_t>(chunk.size());
    row.textLength = static_cast<uint32_t>(text.size());
    chunk += text;
}

const std::string& ResultsModel::pathAt(int row) const
{
    static const std::string none;
    const uint32_t k = m_rows[static_cast<size_t>(row)].pathIndex;
    return k == kNoPath ? none : m_paths[k];
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= m_rows.size())
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return shownText(row);
    case KindRole:
        return static_cast<int>(row.kind);
    case PathRole:
        return row.pathIndex == kNoPath ? QString() : decode(m_paths[row.pathIndex].data(), m_paths[row.pathIndex].size());
    case LineNumberRole:
        return static_cast<qlonglong>(row.lineNumber);
    case NameBeginRole:
        if (row.nameBegin == kNoHit)
            return -1;
        return static_cast<int>(decodeRow(row, row.nameBegin).size());
    case HitBeginRole:
    case HitEndRole: {
        if (row.hitBegin == kNoHit)
            return -1;
        // The byte offset becomes a character offset of the decoded text.
        const uint32_t bytes = role == HitBeginRole ? row.hitBegin : row.hitEnd;
        return static_cast<int>(decodeRow(row, bytes).size());
    }
    default:
        return {};
    }
}

QHash<int, QByteArray> ResultsModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[KindRole] = "kind";
    names[PathRole] = "path";
    names[LineNumberRole] = "lineNumber";
    names[HitBeginRole] = "hitBegin";
    names[HitEndRole] = "hitEnd";
    names[NameBeginRole] = "nameBegin";
    return names;
}

void ResultsModel::appendLines(std::span<const ResultEntry> lines)
{
    if (lines.empty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    m_utf8 = activeCharClasses().kind == CodePageKind::Utf8;
    ListLine shown;
    for (const ResultEntry& entry : lines) {
        listForm(entry, shown);
        Row row;
        storeText(shown.text, row);
        row.latin1 = m_utf8 && !QByteArrayView(shown.text.data(), static_cast<qsizetype>(shown.text.size())).isValidUtf8();
        if (!entry.path.empty()) {
            if (m_paths.empty() || m_paths.back() != entry.path)
                m_paths.push_back(entry.path);
            row.pathIndex = static_cast<uint32_t>(m_paths.size() - 1);
        }
        row.lineNumber = entry.lineNumber;
        if (shown.hitBegin != std::string::npos) {
            row.hitBegin = static_cast<uint32_t>(shown.hitBegin);
            row.hitEnd = static_cast<uint32_t>(shown.hitEnd);
        }
        if (shown.nameBegin != std::string::npos)
            row.nameBegin = static_cast<uint32_t>(shown.nameBegin);
        row.kind = entry.kind;
        m_rows.push_back(row);
    }
    endInsertRows();
}

void ResultsModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_chunks.clear();
    m_paths.clear();
    endResetModel();
}

} // namespace tw
