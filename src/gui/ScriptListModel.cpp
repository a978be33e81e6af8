#include "gui/ScriptListModel.h"

#include "platform/Assert.h"

#include <utility>

namespace tw {

ScriptListModel::ScriptListModel(QStringList headers, RowCount rows, Cell cell, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers)), m_rows(std::move(rows)), m_cell(std::move(cell))
{
    TW_ASSERT(m_headers.size() == 2);
}

int ScriptListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows(); }

int ScriptListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ScriptListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return m_cell(index.row(), index.column());
}

QVariant ScriptListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_headers[section];
}

void ScriptListModel::reload()
{
    beginResetModel();
    endResetModel();
}

void ScriptListModel::rowsChanged(int first, int last)
{
    if (first < 0 || last < first || last >= m_rows())
        return;
    emit dataChanged(index(first, 0), index(last, 1));
}

} // namespace tw
