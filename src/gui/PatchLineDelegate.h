#pragma once
// Paints a line of a patch: the background of its kind across the row, the marked bytes of
// a changed line on their stronger background, the text in the view's (fixed-pitch) font,
// header lines in bold. Only the rows in view are ever painted.
#include <QStyledItemDelegate>

namespace tw {

class PatchLineDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit PatchLineDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tw
