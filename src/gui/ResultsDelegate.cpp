#include "gui/ResultsDelegate.h"

#include "core/ProgramOptions.h"
#include "gui/ColorContrast.h"
#include "gui/ResultsModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace tw {

namespace {

const QString kEllipsis(QChar(0x2026));

QColor fromOptionColor(uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
}

QColor readableOn(const QColor& wanted, const QColor& base)
{
    return QColor::fromRgb(readableColor(wanted.rgb() & 0xFFFFFF, base.rgb() & 0xFFFFFF, ResultsDelegate::kMinContrast));
}

QColor blend(const QColor& from, const QColor& to, double share)
{
    return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * share),
                            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * share),
                            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * share));
}

} // namespace

void ResultsDelegate::setColors(uint32_t foundColor, uint32_t fileColor)
{
    const ProgramOptions defaults;
    m_found = fromOptionColor(foundColor);
    m_file = fromOptionColor(fileColor);
    m_foundChosen = foundColor != defaults.stringColor;
    m_fileChosen = fileColor != defaults.fileColor;
}

QColor ResultsDelegate::foundColorOn(const QColor& base) const
{
    return m_foundChosen ? m_found : readableOn(m_found, base);
}

QColor ResultsDelegate::fileColorOn(const QColor& base) const
{
    return m_fileChosen ? m_file : readableOn(m_file, base);
}

ResultsDelegate::Fitted ResultsDelegate::fitLine(const QString& text, int begin, int end, bool fileName,
                                                 const QFontMetrics& metrics, int width)
{
    const int n = static_cast<int>(text.size());
    Fitted out{text, begin, end};
    if (begin < 0 || begin > n || width <= 0)
        return out;
    end = std::clamp(end, begin, n);
    out.end = end;
    if (fileName) {
        // "Processing file : /a/long/path/name.c": the path loses its middle.
        const int room = width - metrics.horizontalAdvance(text.left(begin));
        const QString path = text.mid(begin, end - begin);
        if (metrics.horizontalAdvance(path) <= room)
            return out;
        const QString shown = metrics.elidedText(path, Qt::ElideMiddle, std::max(room, 0));
        out.text = text.left(begin) + shown + text.mid(end);
        out.end = begin + static_cast<int>(shown.size());
        return out;
    }
    // A hit line: when the found text does not end inside the width, the line keeps its
    // prefix ("Line  12 - ") and goes on from a little before the found text, after "…",
    // so that the found text starts about a quarter of the way in.
    if (metrics.horizontalAdvance(text.left(end)) <= width)
        return out;
    const qsizetype dash = text.indexOf(QLatin1String(" - "));
    const int keep = dash >= 0 && dash + 3 <= begin ? static_cast<int>(dash) + 3 : 0;
    const int lead = width / 4 - metrics.horizontalAdvance(text.left(keep) + kEllipsis);
    int from = begin;
    int taken = 0;
    while (from > keep) {
        const int step = metrics.horizontalAdvance(text.at(from - 1));
        if (taken + step > lead)
            break;
        taken += step;
        --from;
    }
    // A surrogate pair is never split.
    if (from > keep && from < n && text.at(from).isLowSurrogate())
        ++from;
    if (from <= keep)
        return out; // nothing to leave out before the found text
    out.text = text.left(keep) + kEllipsis + text.mid(from);
    out.begin = begin - from + keep + 1;
    out.end = end - from + keep + 1;
    return out;
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
    const QColor base = opt.palette.color(QPalette::Base);
    QColor accent;
    const bool isFile = index.data(ResultsModel::KindRole).toInt() == static_cast<int>(LineKind::File);
    const int name = index.data(ResultsModel::NameBeginRole).toInt();
    if (name >= 0) {
        begin = name;
        end = static_cast<int>(text.size());
        accent = fileColorOn(base);
    }
    QFont font = opt.font;
    if (isFile)
        font.setBold(true);
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor plain = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(2, 0, -2, 0);
    const QFontMetrics metrics(font);
    // A row is as wide as the list's widest; the line is fitted to the part in view.
    int right = area.right();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(opt.widget))
        right = std::min(right, view->viewport()->width() - 3);
    const Fitted line = fitLine(text, begin, end, name >= 0 && isFile, metrics, right - area.left() + 1);
    painter->save();
    painter->setFont(font);
    painter->setClipRect(area);
    int x = area.left();
    auto draw = [&](int from, int to, const QColor& color, const QColor* background) {
        if (to <= from)
            return;
        const QString part = line.text.mid(from, to - from);
        const int w = metrics.horizontalAdvance(part);
        if (background)
            painter->fillRect(QRect(x, area.top() + 1, w, area.height() - 2), *background);
        painter->setPen(color);
        painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
        x += w;
    };
    const int n = static_cast<int>(line.text.size());
    if (line.begin < 0) {
        draw(0, n, plain, nullptr);
    } else {
        const int b = std::min(line.begin, n);
        const int e = std::clamp(line.end, b, n);
        draw(0, b, plain, nullptr);
        if (name >= 0) {
            draw(b, e, selected ? plain : accent, nullptr);
        } else {
            // The found text sits on a tint of the highlight colour, so it stands out by more
            // than its colour: on a selected line the tint is of the selection's text colour.
            const QColor highlight = opt.palette.color(QPalette::Highlight);
            const QColor tint = selected ? blend(highlight, plain, 0.3) : blend(base, highlight, 0.3);
            draw(b, e, selected ? plain : foundColorOn(tint), &tint);
        }
        draw(e, n, plain, nullptr);
    }
    painter->restore();
}

} // namespace tw
