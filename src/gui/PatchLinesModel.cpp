#include "gui/PatchLinesModel.h"

#include "gui/CodePageText.h"

#include <QBrush>

#include <limits>

namespace tw {
namespace {

// Bytes as shown in one line: control characters as their pictures, a tab as four spaces.
QString shownBytes(std::string_view bytes)
{
    QString text = textFromCodePage(bytes);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\t'))
            out += QStringLiteral("    ");
        else if (c.unicode() < 0x20)
            out += QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            out += QChar(0x2421);
        else
            out += c;
    }
    return out;
}

QColor mixed(const QColor& base, const QColor& tint, double share)
{
    const auto mix = [share](int a, int b) { return static_cast<int>(a + (b - a) * share + 0.5); };
    return QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()), mix(base.blue(), tint.blue()));
}

const QColor kRed(230, 40, 40);
const QColor kGreen(30, 180, 60);

} // namespace

PatchLinesModel::PatchLinesModel(PatchIndex& index, QObject* parent) : QAbstractListModel(parent), m_index(index) {}

void PatchLinesModel::setSection(int section)
{
    beginResetModel();
    m_section = section >= 0 && static_cast<size_t>(section) < m_index.sectionCount() ? section : -1;
    m_last = Shown();
    endResetModel();
}

void PatchLinesModel::setBaseColor(const QColor& base)
{
    m_base = base;
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::BackgroundRole, MarkColorRole});
}

int PatchLinesModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || m_section < 0)
        return 0;
    return static_cast<int>(std::min<uint64_t>(m_index.section(static_cast<size_t>(m_section)).rows,
                                               std::numeric_limits<int>::max()));
}

QColor PatchLinesModel::lineColor(PatchLineKind kind, const QColor& base)
{
    switch (kind) {
    case PatchLineKind::Removed: return mixed(base, kRed, 0.2);
    case PatchLineKind::Added: return mixed(base, kGreen, 0.2);
    case PatchLineKind::HunkHeader: return mixed(base, QColor(60, 110, 220), 0.15);
    case PatchLineKind::Malformed: return mixed(base, QColor(230, 150, 0), 0.3);
    default: return base;
    }
}

QColor PatchLinesModel::markColor(PatchLineKind kind, const QColor& base)
{
    return mixed(base, kind == PatchLineKind::Removed ? kRed : kGreen, 0.5);
}

const PatchLinesModel::Shown& PatchLinesModel::shown(int row) const
{
    if (m_last.row == row)
        return m_last;
    m_last = Shown();
    m_last.row = row;
    PatchLine line;
    if (!m_index.readLine(static_cast<size_t>(m_section), static_cast<uint64_t>(row), &line)) {
        m_last.text = QStringLiteral("(this line can no longer be read from the patch)");
        return m_last;
    }
    m_last.kind = line.kind;
    const std::string_view bytes = line.text;
    // Each part is turned into text on its own, so the mark falls between the same
    // characters it falls between in bytes.
    const QString before = shownBytes(bytes.substr(0, line.markBegin));
    const QString marked = shownBytes(bytes.substr(line.markBegin, line.markEnd - line.markBegin));
    m_last.text = before + marked + shownBytes(bytes.substr(line.markEnd));
    m_last.markBegin = static_cast<int>(before.size());
    m_last.markEnd = m_last.markBegin + static_cast<int>(marked.size());
    if (line.cut)
        m_last.text += QStringLiteral(" \u2026");
    return m_last;
}

QVariant PatchLinesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Shown& s = shown(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return s.text;
    case KindRole:
        return static_cast<int>(s.kind);
    case MarkBeginRole:
        return s.markBegin;
    case MarkEndRole:
        return s.markEnd;
    case Qt::BackgroundRole:
        return QBrush(lineColor(s.kind, m_base));
    case MarkColorRole:
        return markColor(s.kind, m_base);
    default:
        return {};
    }
}

} // namespace tw
