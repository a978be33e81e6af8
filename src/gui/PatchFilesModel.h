#pragma once
// The preview's list of changed files: one row per section of the patch, with the file's
// name, the replacements counted in it and its added and removed lines. A section that does
// not read as a patch says so in its changes column.
#include <QAbstractTableModel>

namespace tw {

class PatchIndex;

class PatchFilesModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { FileColumn, ReplacementsColumn, ChangesColumn, ColumnCount };
    enum Role { MalformedRole = Qt::UserRole + 1 };

    // `index` outlives the model.
    explicit PatchFilesModel(const PatchIndex& index, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PatchIndex& m_index;
};

} // namespace tw
