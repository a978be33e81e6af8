#include "gui/WindowGeometry.h"

#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace tw {

std::vector<QRect> availableScreenAreas()
{
    std::vector<QRect> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.push_back(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            screens.push_back(screen->availableGeometry());
    return screens;
}

QRect fromStoredRect(const WindowRect& r)
{
    return r.isEmpty() ? QRect() : QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

WindowRect toStoredRect(const QRect& g)
{
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

QRect placedRect(const QRect& stored, QSize preferred, QSize minimum)
{
    // The stored rectangle may come from another scale factor, a screen that is gone or a
    // hand-edited file.
    return placeWindow(stored, availableScreenAreas(), preferred, minimum);
}

} // namespace tw
