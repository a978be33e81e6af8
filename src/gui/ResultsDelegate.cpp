#include "gui/ResultsDelegate.h"

#include "gui/ResultsModel.h"

#include <QApplication>
#include <QPainter>

namespace tw {

namespace {

QColor fromOptionColor(uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
}

} // namespace

void ResultsDelegate::setColors(uint32_t foundColor, uint32_t fileColor)
{
    m_found = fromOptionColor(foundColor);
    m_file = fromOptionColor(fileColor);
}

void ResultsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    // Background, selection and focus frame as the style draws them, without the text.
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    int begin = index.data(ResultsModel::HitBeginRole).toInt();
    int end = index.data(ResultsModel::HitEndRole).toInt();
    QColor accent = m_found;
    if (const int name = index.data(ResultsModel::NameBeginRole).toInt(); name >= 0) {
        begin = name;
        end = static_cast<int>(text.size());
        accent = m_file;
    }
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor plain = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(2, 0, -2, 0);
    painter->save();
    painter->setFont(opt.font);
    painter->setClipRect(area);
    const QFontMetrics metrics(opt.font);
    int x = area.left();
    auto draw = [&](int from, int to, const QColor& color) {
        if (to <= from)
            return;
        const QString part = text.mid(from, to - from);
        painter->setPen(color);
        painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
        x += metrics.horizontalAdvance(part);
    };
    const int n = static_cast<int>(text.size());
    if (begin < 0) {
        draw(0, n, plain);
    } else {
        begin = std::min(begin, n);
        end = std::clamp(end, begin, n);
        draw(0, begin, plain);
        // On a selected line the coloured part keeps its colour only when it stays readable.
        draw(begin, end, selected ? plain : accent);
        draw(end, n, plain);
    }
    painter->restore();
}

} // namespace tw
