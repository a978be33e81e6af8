#pragma once
// A window's stored rectangle ("Window Position", "View Context Position") and the screens
// it may be placed on.
#include "app/SettingsStore.h"

#include <QRect>
#include <QSize>

#include <vector>

namespace tw {

// The available area of every screen, the primary screen first.
std::vector<QRect> availableScreenAreas();

// A stored rectangle (right and bottom exclusive) as a QRect of the window's position and
// size; an empty one (none stored) as a null QRect.
QRect fromStoredRect(const WindowRect& stored);
WindowRect toStoredRect(const QRect& windowRect);

// The stored rectangle, or a window of `preferred` size centred when none is stored,
// fitted into the screen it lands on and no smaller than `minimum`.
QRect placedRect(const QRect& stored, QSize preferred, QSize minimum);

} // namespace tw
