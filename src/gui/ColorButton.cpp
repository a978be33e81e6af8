#include "gui/ColorButton.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace tw {

namespace {

struct NamedColor {
    const char* name;
    int r, g, b;
};

// Five rows of four.
constexpr NamedColor kSquares[] = {
    {"Black", 0, 0, 0},          {"Dark Gray", 128, 128, 128}, {"Light Gray", 192, 192, 192}, {"White", 255, 255, 255},
    {"Red", 255, 0, 0},          {"Dark Red", 128, 0, 0},      {"Orange", 255, 128, 0},       {"Brown", 128, 64, 0},
    {"Yellow", 255, 255, 0},     {"Olive", 128, 128, 0},       {"Green", 0, 255, 0},          {"Dark Green", 0, 128, 0},
    {"Cyan", 0, 255, 255},       {"Teal", 0, 128, 128},        {"Blue", 0, 0, 255},           {"Navy", 0, 0, 128},
    {"Magenta", 255, 0, 255},    {"Purple", 128, 0, 128},      {"Pink", 255, 128, 192},       {"Sky Blue", 0, 128, 255},
};
static_assert(std::size(kSquares) == 20);
constexpr int kColumns = 4;

QIcon swatch(const QColor& color, const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QColor(96, 96, 96));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return QIcon(pixmap);
}

} // namespace

QColor colorFromOption(uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

uint32_t optionFromColor(const QColor& color)
{
    return uint32_t(color.red()) | uint32_t(color.green()) << 8 | uint32_t(color.blue()) << 16;
}

ColorPopup::ColorPopup(const QColor& current, QWidget* parent) : QFrame(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAccessibleName(QStringLiteral("Colors"));
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    QToolButton* focus = nullptr;
    for (int i = 0; i < int(std::size(kSquares)); ++i) {
        const NamedColor& c = kSquares[i];
        const QColor color(c.r, c.g, c.b);
        auto* square = new QToolButton(this);
        square->setIcon(swatch(color, QSize(18, 18)));
        square->setIconSize(QSize(18, 18));
        square->setAutoRaise(true);
        square->setCheckable(true);
        square->setChecked(color == current);
        square->setToolTip(QString::fromLatin1(c.name));
        square->setAccessibleName(QString::fromLatin1(c.name));
        square->setFocusPolicy(Qt::StrongFocus);
        connect(square, &QToolButton::clicked, this, [this, color] {
            emit colorChosen(color);
            close();
        });
        grid->addWidget(square, i / kColumns, i % kColumns);
        m_squares.push_back(square);
        if (!focus || color == current)
            focus = square; // the current colour's square, else the first
    }
    auto* other = new QPushButton(QStringLiteral("Other..."), this);
    other->setAccessibleName(QStringLiteral("Other..."));
    other->setAutoDefault(false);
    connect(other, &QPushButton::clicked, this, [this] {
        close();
        emit otherRequested();
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(grid);
    layout->addWidget(other);
    if (focus)
        focus->setFocus();
}

void ColorPopup::keyPressEvent(QKeyEvent* event)
{
    // The arrow keys move between the squares; Escape closes without a choice.
    const int at = m_squares.indexOf(qobject_cast<QToolButton*>(focusWidget()));
    int to = -1;
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Left: to = at - 1; break;
    case Qt::Key_Right: to = at + 1; break;
    case Qt::Key_Up: to = at - kColumns; break;
    case Qt::Key_Down: to = at + kColumns; break;
    default: QFrame::keyPressEvent(event); return;
    }
    if (at >= 0 && to >= 0 && to < m_squares.size())
        m_squares[to]->setFocus();
}

ColorButton::ColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &ColorButton::openPopup);
}

void ColorButton::setColor(const QColor& color)
{
    m_color = color;
    const int side = fontMetrics().height();
    setIconSize(QSize(side * 2, side));
    setIcon(swatch(color, QSize(side * 2, side)));
}

void ColorButton::openPopup()
{
    auto* popup = new ColorPopup(m_color, this);
    m_popup = popup;
    connect(popup, &ColorPopup::colorChosen, this, [this](const QColor& c) {
        setColor(c);
        emit colorChanged(c);
    });
    // The full chooser opens once the popup has gone.
    connect(popup, &ColorPopup::otherRequested, this, &ColorButton::openFullChooser, Qt::QueuedConnection);
    popup->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        if (at.y() + popup->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - popup->height());
        at.setX(std::min(at.x(), area.right() - popup->width()));
    }
    popup->move(at);
    popup->show();
}

void ColorButton::openFullChooser()
{
    const QColor chosen = QColorDialog::getColor(m_color, window(), QString(text()).remove(QLatin1Char('&')));
    if (chosen.isValid()) {
        setColor(chosen);
        emit colorChanged(chosen);
    }
}

} // namespace tw
