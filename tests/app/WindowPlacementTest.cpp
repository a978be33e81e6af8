// Where the main window opens: a saved or default rectangle is fitted into the screen it
// lands on, whatever scale factor or screen the rectangle was saved with.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

const QSize kPreferred(760, 520);
const QSize kMinimum(550, 400);

TEST(placeWindow, FitsSavedAndDefaultRectanglesIntoTheScreen)
{
    // A 1400 x 900 screen at a scale factor of 2, with a panel of 30 at the top.
    const std::vector<QRect> scaled{QRect(0, 15, 700, 435)};
    const struct {
        const char* name;
        QRect saved;
        std::vector<QRect> screens;
        QRect placed;
    } cases[] = {
        {"default, larger than the screen", QRect(), scaled, QRect(0, 15, 700, 435)},
        {"saved at scale 1", QRect(40, 60, 1200, 800), scaled, QRect(0, 15, 700, 435)},
        {"saved above and left of the screen", QRect(-58, -30, 1520, 1040), {QRect(0, 0, 1400, 900)},
         QRect(0, 0, 1400, 900)},
        {"saved hanging over the right and bottom", QRect(1000, 700, 700, 500), {QRect(0, 0, 1400, 900)},
         QRect(700, 400, 700, 500)},
        {"saved where it fits stays", QRect(40, 60, 700, 480), {QRect(0, 0, 1400, 900)}, QRect(40, 60, 700, 480)},
        {"saved on the second screen stays there", QRect(1300, 100, 800, 600),
         {QRect(0, 0, 1400, 900), QRect(1400, 0, 1000, 700)}, QRect(1400, 100, 800, 600)},
        {"saved on a screen that is gone: centred", QRect(3000, 100, 800, 600), {QRect(0, 0, 1400, 900)},
         QRect(320, 190, 760, 520)},
        {"a screen smaller than the minimum: the minimum at its corner", QRect(), {QRect(10, 20, 500, 300)},
         QRect(10, 20, 550, 400)},
        {"too small to be a window: the default", QRect(100, 100, 200, 100), {QRect(0, 0, 1400, 900)},
         QRect(320, 190, 760, 520)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(placeWindow(c.saved, c.screens, kPreferred, kMinimum), c.placed) << c.name;
}

// Random rectangles and screens: the window always starts on a screen (its title bar and
// menu can be reached), is never smaller than the minimum, and lies wholly on that screen
// whenever the minimum fits there.
TEST(placeWindow, RandomRectanglesAlwaysLandOnAScreen)
{
    std::mt19937 random(20261210);
    const auto number = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 5000; ++round) {
        // Side by side, as a desktop arranges them, with gaps between them at times.
        std::vector<QRect> screens;
        for (int k = number(1, 3), left = number(-3000, 0); k > 0; --k) {
            screens.emplace_back(left, number(-1000, 1000), number(300, 2600), number(200, 1600));
            left = screens.back().right() + 1 + number(0, 1) * number(0, 300);
        }
        const QRect saved = number(0, 4) == 0 ? QRect()
                                              : QRect(number(-4000, 4000), number(-3000, 3000), number(-10, 4000),
                                                      number(-10, 3000));
        const QRect placed = placeWindow(saved, screens, kPreferred, kMinimum);
        ASSERT_GE(placed.width(), kMinimum.width());
        ASSERT_GE(placed.height(), kMinimum.height());
        bool onScreen = false;
        for (const QRect& screen : screens) {
            if (!screen.contains(placed.topLeft()))
                continue;
            onScreen = true;
            if (screen.width() >= kMinimum.width() && screen.height() >= kMinimum.height()) {
                EXPECT_TRUE(screen.contains(placed)) << round;
            }
        }
        ASSERT_TRUE(onScreen) << round;
    }
}

} // namespace
} // namespace tw
