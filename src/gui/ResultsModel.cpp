#include "gui/ResultsModel.h"

#include "engine/CharClasses.h"
#include "platform/Assert.h"
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
    [[maybe_unused]] const char* const before = chunk.data();
    chunk += text;
    // The chunk had room for the text: rows stored before still point at their bytes.
    TW_ASSERT(chunk.data() == before);
}

bool ResultsModel::rowStored(const Row& row) const
{
    const bool text = row.chunk < m_chunks.size() && row.offset <= m_chunks[row.chunk].size() &&
                      row.textLength <= m_chunks[row.chunk].size() - row.offset;
    const bool place = row.place == kNoPlace || row.place < m_places.size();
    const bool hit = (row.hitBegin == kNoHit && row.hitEnd == kNoHit) ||
                     (row.hitBegin <= row.hitEnd && row.hitEnd <= row.textLength);
    const bool name = row.nameBegin == kNoHit || row.nameBegin <= row.textLength;
    return text && place && hit && name;
}

const std::string& ResultsModel::pathAt(int row) const
{
    static const std::string none;
    const Place* place = placeOf(m_rows[static_cast<size_t>(row)]);
    return place ? place->path : none;
}

const std::string& ResultsModel::archivePathAt(int row) const
{
    static const std::string none;
    const Place* place = placeOf(m_rows[static_cast<size_t>(row)]);
    return place ? place->archivePath : none;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= m_rows.size())
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    const Place* place = placeOf(row);
    switch (role) {
    case Qt::DisplayRole:
        return shownText(row);
    case KindRole:
        return static_cast<int>(row.kind);
    case Qt::ToolTipRole:
        // A file line may show its path shortened: the tip gives it whole.
        if (row.kind != LineKind::File || !place)
            return {};
        [[fallthrough]];
    case PathRole:
        return place ? decode(place->path) : QString();
    case ArchivePathRole:
        return place ? decode(place->archivePath) : QString();
    case PathBytesRole:
        return place ? QByteArray::fromStdString(place->path) : QByteArray();
    case ArchivePathBytesRole:
        return place ? QByteArray::fromStdString(place->archivePath) : QByteArray();
    case LineNumberRole:
        return static_cast<qlonglong>(row.lineNumber);
    case FileOffsetRole:
        return static_cast<qlonglong>(row.fileOffset);
    case HitColumnRole:
        return row.hitColumn;
    case HitLengthRole:
        return row.hitLength;
    case BinaryRole:
        return row.binary;
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
    names[ArchivePathRole] = "archivePath";
    names[FileOffsetRole] = "fileOffset";
    names[HitColumnRole] = "hitColumn";
    names[HitLengthRole] = "hitLength";
    names[BinaryRole] = "binary";
    names[PathBytesRole] = "pathBytes";
    names[ArchivePathBytesRole] = "archivePathBytes";
    return names;
}

void ResultsModel::Batch::add(const ResultEntry& entry)
{
    if (m_rows.empty())
        m_utf8 = activeCharClasses().kind == CodePageKind::Utf8;
    listForm(entry, m_shown);
    Row row;
    row.fields() = entry.fields();
    row.offset = static_cast<uint32_t>(m_text.size());
    row.textLength = static_cast<uint32_t>(m_shown.text.size());
    m_text += m_shown.text;
    row.latin1 =
        m_utf8 && !QByteArrayView(m_shown.text.data(), static_cast<qsizetype>(m_shown.text.size())).isValidUtf8();
    if (!entry.path.empty() || !entry.archivePath.empty()) {
        const bool same = m_placeCount > 0 && m_places[m_placeCount - 1].path == entry.path &&
                          m_places[m_placeCount - 1].archivePath == entry.archivePath;
        if (!same) {
            if (m_placeCount == m_places.size())
                m_places.emplace_back();
            // Assigned over a spare entry, whose strings keep their capacity.
            m_places[m_placeCount].path = entry.path;
            m_places[m_placeCount].archivePath = entry.archivePath;
            ++m_placeCount;
        }
        row.place = static_cast<uint32_t>(m_placeCount - 1);
    }
    if (m_shown.hitBegin != std::string::npos) {
        row.hitBegin = static_cast<uint32_t>(m_shown.hitBegin);
        row.hitEnd = static_cast<uint32_t>(m_shown.hitEnd);
    }
    if (m_shown.nameBegin != std::string::npos)
        row.nameBegin = static_cast<uint32_t>(m_shown.nameBegin);
    TW_ASSERT(m_placeCount <= m_places.size());
    TW_ASSERT(row.offset + row.textLength == m_text.size());
    m_rows.push_back(row);
}

void ResultsModel::Batch::clear()
{
    m_rows.clear();
    m_text.clear();
    m_placeCount = 0;
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
    // The batch's first place continues the model's last one when they are the same file.
    const bool continues = batch.m_placeCount > 0 && !m_places.empty() && m_places.back() == batch.m_places[0];
    const size_t placeBase = m_places.size() - (continues ? 1 : 0);
    for (size_t k = continues ? 1 : 0; k < batch.m_placeCount; ++k) {
        TW_ASSERT(m_places.empty() || !(m_places.back() == batch.m_places[k]));
        m_places.push_back(std::move(batch.m_places[k]));
    }
    const std::string_view text(batch.m_text);
    for (Row row : batch.m_rows) {
        TW_ASSERT(row.place == kNoPlace || row.place < batch.m_placeCount);
        storeText(text.substr(row.offset, row.textLength), row);
        if (row.place != kNoPlace)
            row.place = static_cast<uint32_t>(placeBase + row.place);
        TW_ASSERT(rowStored(row));
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
    m_places.clear();
    endResetModel();
}

QString runEndStatus(const ResultsModel& model, bool stopped)
{
    // The run's last summary, above the per-pair summaries of a script and the stop notice.
    int last = model.rowCount() - 1;
    while (last >= 0 && (model.kindAt(last) == LineKind::PairSummary || model.kindAt(last) == LineKind::Notice))
        --last;
    const bool summary = last >= 0 && model.kindAt(last) == LineKind::Summary;
    if (!summary)
        return stopped ? QStringLiteral("Stopped") : QStringLiteral("Ready");
    const QString text = model.data(model.index(last)).toString();
    return stopped ? QStringLiteral("Stopped - ") + text : text;
}

} // namespace tw
