#pragma once
// The code table of the Binary Mode dialog as a two-column list ("Code", "Displayed As"),
// one row per byte value, read from a CodeTable in the active code page.
#include "engine/CodeTable.h"

#include <QAbstractTableModel>

namespace tw {

class CodeTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CodeTableModel(const CodeTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const CodeTable& m_table; // outlives the model (the dialog's BinaryModeModel owns it)
};

} // namespace tw
