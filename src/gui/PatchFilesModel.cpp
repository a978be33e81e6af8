#include "gui/PatchFilesModel.h"

#include "app/PatchIndex.h"
#include "gui/CodePageText.h"

#include <QLocale>

#include <limits>

namespace tw {

PatchFilesModel::PatchFilesModel(const PatchIndex& index, QObject* parent)
    : QAbstractTableModel(parent), m_index(index)
{
}

int PatchFilesModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(std::min<size_t>(m_index.sectionCount(), std::numeric_limits<int>::max()));
}

int PatchFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PatchFilesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const PatchSection& s = m_index.section(static_cast<size_t>(index.row()));
    if (role == MalformedRole)
        return s.malformed;
    if (role == Qt::TextAlignmentRole && index.column() != FileColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && s.malformed)
        return QStringLiteral("This part of the patch does not read as a change of one file.");
    if (role != Qt::DisplayRole)
        return {};
    const QLocale locale;
    switch (index.column()) {
    case FileColumn:
        if (s.preamble)
            return QStringLiteral("(text before the first file)");
        return s.rel.empty() ? QStringLiteral("(no name)") : textFromCodePage(s.rel);
    case ReplacementsColumn:
        return s.replacements ? locale.toString(static_cast<qulonglong>(*s.replacements)) : QString();
    default: {
        QString changes = s.binary ? QStringLiteral("binary")
                                   : QStringLiteral("+%1 \u2212%2")
                                         .arg(locale.toString(static_cast<qulonglong>(s.added)),
                                              locale.toString(static_cast<qulonglong>(s.removed)));
        if (s.malformed)
            changes += QStringLiteral(", malformed");
        return changes;
    }
    }
}

QVariant PatchFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FileColumn: return QStringLiteral("File");
    case ReplacementsColumn: return QStringLiteral("Replacements");
    case ChangesColumn: return QStringLiteral("Lines");
    default: return {};
    }
}

} // namespace tw
