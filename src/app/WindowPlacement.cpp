#include "app/WindowPlacement.h"

#include <algorithm>

namespace tw {

namespace {

// The part of `rect` that must lie on a screen for it to count as being there.
constexpr int kVisibleWidth = 100;
constexpr int kVisibleHeight = 50;
// Larger rectangles come from a hand-edited file, not from a window.
constexpr int kLargest = 32767;

// The index of the screen holding the largest part of `rect`, or -1 when none holds a
// visible part of it.
int screenHolding(const QRect& rect, const std::vector<QRect>& screens)
{
    int best = -1;
    long long bestArea = 0;
    for (size_t k = 0; k < screens.size(); ++k) {
        const QRect on = screens[k].intersected(rect);
        if (on.width() < kVisibleWidth || on.height() < kVisibleHeight)
            continue;
        const long long area = static_cast<long long>(on.width()) * on.height();
        if (area > bestArea) {
            bestArea = area;
            best = static_cast<int>(k);
        }
    }
    return best;
}

// `position` moved so that `length` from it stays within [low, low + room), or `low` when
// `length` exceeds `room`.
int clampInto(int position, int length, int low, int room)
{
    return length >= room ? low : std::clamp(position, low, low + room - length);
}

} // namespace

QRect placeWindow(const QRect& saved, const std::vector<QRect>& screens, QSize preferred, QSize minimum)
{
    const bool sensible = saved.isValid() && saved.width() >= minimum.width() && saved.height() >= minimum.height()
                          && saved.width() <= kLargest && saved.height() <= kLargest;
    if (screens.empty()) // nothing to fit into
        return sensible ? saved : QRect(QPoint(0, 0), preferred.expandedTo(minimum));
    const int holder = sensible ? screenHolding(saved, screens) : -1;
    QRect area = screens.front();
    QRect rect;
    if (holder >= 0) {
        area = screens[static_cast<size_t>(holder)];
        rect = saved;
    } else {
        rect = QRect(QPoint(0, 0), preferred.expandedTo(minimum));
        rect.moveCenter(area.center());
    }
    const int width = std::max(std::min(rect.width(), area.width()), minimum.width());
    const int height = std::max(std::min(rect.height(), area.height()), minimum.height());
    return QRect(clampInto(rect.left(), width, area.left(), area.width()),
                 clampInto(rect.top(), height, area.top(), area.height()), width, height);
}

} // namespace tw
