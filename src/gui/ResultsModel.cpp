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

void ResultsModel::storeText(std::string_view text, Row& row)
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
    case Qt::ToolTipRole:
        // A file line may show its path shortened: the tip gives it whole.
        if (row.kind != LineKind::File || row.pathIndex == kNoPath)
            return {};
        [[fallthrough]];
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

void ResultsModel::Batch::add(const ResultEntry& entry)
{
    if (m_rows.empty())
        m_utf8 = activeCharClasses().kind == CodePageKind::Utf8;
    listForm(entry, m_shown);
    Row row;
    row.offset = static_cast<uint32_t>(m_text.size());
    row.textLength = static_cast<uint32_t>(m_shown.text.size());
    m_text += m_shown.text;
    row.latin1 =
        m_utf8 && !QByteArrayView(m_shown.text.data(), static_cast<qsizetype>(m_shown.text.size())).isValidUtf8();
    if (!entry.path.empty()) {
        if (m_pathCount == 0 || m_paths[m_pathCount - 1] != entry.path) {
            if (m_pathCount < m_paths.size())
                m_paths[m_pathCount] = entry.path;
            else
                m_paths.push_back(entry.path);
            ++m_pathCount;
        }
        row.pathIndex = static_cast<uint32_t>(m_pathCount - 1);
    }
    row.lineNumber = entry.lineNumber;
    if (m_shown.hitBegin != std::string::npos) {
        row.hitBegin = static_cast<uint32_t>(m_shown.hitBegin);
        row.hitEnd = static_cast<uint32_t>(m_shown.hitEnd);
    }
    if (m_shown.nameBegin != std::string::npos)
        row.nameBegin = static_cast<uint32_t>(m_shown.nameBegin);
    row.kind = entry.kind;
    m_rows.push_back(row);
}

void ResultsModel::Batch::clear()
{
    m_rows.clear();
    m_text.clear();
    m_pathCount = 0;
}

void ResultsModel::appendLines(std::span<const ResultEntry> lines)
{
    Batch batch;
    for (const ResultEntry& entry : lines)
        batch.add(entry);
    appendBatch(batch);
}

void ResultsModel::appendBatch(Batch& batch)
{
    if (batch.empty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(batch.size()) - 1);
    m_utf8 = batch.m_utf8;
    // The batch's first path continues the model's last one when they are the same file.
    const bool continues = batch.m_pathCount > 0 && !m_paths.empty() && m_paths.back() == batch.m_paths[0];
    const size_t pathBase = m_paths.size() - (continues ? 1 : 0);
    for (size_t k = continues ? 1 : 0; k < batch.m_pathCount; ++k)
        m_paths.push_back(std::move(batch.m_paths[k]));
    const std::string_view text(batch.m_text);
    for (Row row : batch.m_rows) {
        storeText(text.substr(row.offset, row.textLength), row);
        if (row.pathIndex != kNoPath)
            row.pathIndex = static_cast<uint32_t>(pathBase + row.pathIndex);
        m_rows.push_back(row);
    }
    endInsertRows();
    batch.clear();
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

QString runEndStatus(const ResultsModel& model, bool stopped)
{
    const int last = model.rowCount() - 1;
    const bool summary = last >= 0 && model.kindAt(last) == LineKind::Summary;
    if (!summary)
        return stopped ? QStringLiteral("Stopped") : QStringLiteral("Ready");
    const QString text = model.data(model.index(last)).toString();
    return stopped ? QStringLiteral("Stopped - ") + text : text;
}

} // namespace tw
