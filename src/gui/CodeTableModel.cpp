#include "gui/CodeTableModel.h"

#include "gui/CodePageText.h"

namespace tw {

CodeTableModel::CodeTableModel(const CodeTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table)
{
}

int CodeTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(CodeTable::kRows);
}

int CodeTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant CodeTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const CodeRow& row = m_table.row(static_cast<uint8_t>(index.row()));
    return textFromCodePage(index.column() == 0 ? row.code : row.shown);
}

QVariant CodeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return section == 0 ? QStringLiteral("Code") : QStringLiteral("Displayed As");
}

} // namespace tw
