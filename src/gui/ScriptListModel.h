#pragma once
// A two-column table over one of a script's lists (the pairs or the path entries), read
// straight from the script: the view holds no copy, so an edit costs a reset or one
// dataChanged however long the list is.
#include <QAbstractTableModel>
#include <QStringList>

#include <functional>

namespace tw {

class ScriptListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using RowCount = std::function<int()>;
    using Cell = std::function<QString(int row, int column)>;

    // `headers` holds the two column titles; `rows` and `cell` read the script.
    ScriptListModel(QStringList headers, RowCount rows, Cell cell, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The list changed in length or wholly (insert, remove, load).
    void reload();
    // Rows first..last show new texts.
    void rowsChanged(int first, int last);

private:
    QStringList m_headers; // exactly two
    RowCount m_rows;
    Cell m_cell;
};

} // namespace tw
