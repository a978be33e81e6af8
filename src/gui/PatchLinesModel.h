#pragma once
// The lines of one file's section of a patch, read from the patch as the view asks for them
// (PatchIndex keeps only where they are), so a section of any length scrolls without being
// loaded. Each row gives its text, its kind, the marked part of a changed line and the
// background of its kind: removed lines red, added lines green, mixed into the view's base
// colour so that they read in light and dark palettes, the marked bytes in a stronger mix.
#include "app/PatchIndex.h"

#include <QAbstractListModel>
#include <QColor>

namespace tw {

class PatchLinesModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1, // PatchLineKind as int
        MarkBeginRole,               // the marked part of the display text, [begin, end)
        MarkEndRole,
        MarkColorRole,               // the marked part's background
    };

    // `index` outlives the model.
    explicit PatchLinesModel(PatchIndex& index, QObject* parent = nullptr);

    // Shows section `section` of the index (-1: none).
    void setSection(int section);
    int section() const { return m_section; }
    // The colour the backgrounds are mixed into (the view's base colour).
    void setBaseColor(const QColor& base);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The background of a line of `kind` on `base`, and of its marked bytes.
    static QColor lineColor(PatchLineKind kind, const QColor& base);
    static QColor markColor(PatchLineKind kind, const QColor& base);

private:
    struct Shown {
        int row = -1;
        PatchLineKind kind = PatchLineKind::Malformed;
        QString text;
        int markBegin = 0, markEnd = 0;
    };
    const Shown& shown(int row) const;

    PatchIndex& m_index;
    int m_section = -1; // -1 or a section of m_index
    QColor m_base = Qt::white;
    mutable Shown m_last; // the row last read: a view asks for several roles of one row in turn
};

} // namespace tw
