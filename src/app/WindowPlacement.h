#pragma once
// Where a top-level window opens: its saved rectangle, or its preferred size centred on the
// primary screen, fitted into the available area of the screen it lands on, so that its
// title bar and menu are always on that screen. Rectangles are in the desktop's logical
// coordinates (a scale factor of 2 halves a screen's size), top-left as QWidget::move
// takes it, size as QWidget::resize takes it.
#include <QRect>
#include <QSize>

#include <vector>

namespace tw {

// `saved`: the rectangle kept from the last session, null or empty when none. It is used
// when it is at least `minimum` in size, not absurdly large, and a good part of it lies on
// one of `screens` (the screens' available areas, the primary one first); otherwise the
// window gets `preferred`, centred on the primary screen. The result then fits into the
// screen that holds the most of it, shrunk where needed but never below `minimum`.
QRect placeWindow(const QRect& saved, const std::vector<QRect>& screens, QSize preferred, QSize minimum);

} // namespace tw
