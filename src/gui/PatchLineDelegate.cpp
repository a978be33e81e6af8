#include "gui/PatchLineDelegate.h"

#include "app/PatchIndex.h"
#include "gui/PatchLinesModel.h"

#include <QPainter>

namespace tw {
namespace {

constexpr int kMargin = 4;
// Rows are all as wide as this many characters (the view gives every row one size), so
// the horizontal scroll bar reaches this far into long lines.
constexpr int kRowColumns = 200;

} // namespace

void PatchLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const auto kind = static_cast<PatchLineKind>(index.data(PatchLinesModel::KindRole).toInt());
    painter->fillRect(option.rect, index.data(Qt::BackgroundRole).value<QBrush>());
    QFont font = option.font;
    font.setBold(kind == PatchLineKind::Header);
    painter->setFont(font);
    const QFontMetrics metrics(font);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int begin = index.data(PatchLinesModel::MarkBeginRole).toInt();
    const int end = index.data(PatchLinesModel::MarkEndRole).toInt();
    const QRect area = option.rect.adjusted(kMargin, 0, 0, 0);
    if (end > begin) {
        const int x = area.left() + metrics.horizontalAdvance(text.left(begin));
        const int width = metrics.horizontalAdvance(text.mid(begin, end - begin));
        painter->fillRect(QRect(x, option.rect.top(), width, option.rect.height()),
                          index.data(PatchLinesModel::MarkColorRole).value<QColor>());
    }
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    if (option.state & QStyle::State_Selected) {
        painter->setPen(option.palette.color(QPalette::Highlight));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

QSize PatchLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics metrics(option.font);
    return {2 * kMargin + kRowColumns * metrics.horizontalAdvance(QLatin1Char('M')), metrics.height() + 2};
}

} // namespace tw
