#include <gtest/gtest.h>

#include "screen_guard.h"

TEST(TouchesAnyMonitor, AnySharedPixelCounts)
{
    const ScreenRect monitors[] = { { 0, 0, 1280, 1024 }, { 1280, 0, 2560, 1024 } };
    const struct {
        ScreenRect window;
        bool touches;
    } cases[] = {
        { { -40, 25, 96, 185 }, true }, // partly off the left edge
        { { 2500, 900, 2636, 1060 }, true }, // on the second monitor's corner
        { { -136, 0, 0, 160 }, false }, // ends exactly where the screen begins
        { { 5000, 5000, 5136, 5160 }, false }, // a monitor that is gone
        { { 0, 1024, 136, 1184 }, false }, // just below
        { { 1279, 1023, 1415, 1183 }, true }, // one pixel on screen
    };
    for (const auto& c : cases)
        EXPECT_EQ(TouchesAnyMonitor(c.window, monitors, 2), c.touches) << c.window.left << "," << c.window.top;
    EXPECT_FALSE(TouchesAnyMonitor({ 0, 0, 10, 10 }, monitors, 0));
}
