#include "gui/TitleFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tw {

int titleBarWidth(const QString& title)
{
    // Title bars draw in a bold font a little larger than the text's; three buttons, an
    // icon and the margins take about 160 pixels.
    QFont font = QApplication::font();
    font.setBold(true);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.2);
    constexpr int kDecorations = 160;
    return QFontMetrics(font).horizontalAdvance(title) + kDecorations;
}

void fitTitle(QMessageBox& box)
{
    // The box fixes its size from its layout's minimum width when shown: a spacer as wide
    // as the title bar needs sets that minimum.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(titleBarWidth(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace tw
