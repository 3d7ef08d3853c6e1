#include <gtest/gtest.h>

#include "notifier/polite_rules.h"
#include "notifier/screen_guard.h"

TEST(TouchesAnyMonitor, AnySharedPixelCounts)
{
    const ScreenRect monitors[] = { { 0, 0, 1280, 1024 }, { 1280, 0, 2560, 1024 } };
    const std::pair<ScreenRect, bool> cases[] = {
        { { -40, 25, 96, 185 }, true }, // partly off the left edge
        { { 2500, 900, 2636, 1060 }, true }, // on the second monitor's corner
        { { -136, 0, 0, 160 }, false }, // ends exactly where the screen begins
        { { 5000, 5000, 5136, 5160 }, false }, // a monitor that is gone
        { { 0, 1024, 136, 1184 }, false }, // just below
        { { 1279, 1023, 1415, 1183 }, true }, // one pixel on screen
    };
    for (const auto& [window, touches] : cases)
        EXPECT_EQ(TouchesAnyMonitor(window, monitors, 2), touches) << window.left << "," << window.top;
    EXPECT_FALSE(TouchesAnyMonitor({ 0, 0, 10, 10 }, monitors, 0));
}

TEST(SkinScale, NearestWholeFactorOrTheForcedOne)
{
    const struct {
        int setting, dpi, scale;
    } cases[] = {
        { 0, 96, 1 }, { 0, 120, 1 }, // 125 %
        { 0, 144, 1 }, // 150 %: a half rounds down
        { 0, 145, 2 }, { 0, 192, 2 }, { 0, 240, 2 }, // 250 %
        { 0, 288, 3 }, { 0, 336, 3 }, // 350 %: the largest factor reached exactly
        { 0, 337, 3 }, { 0, 480, 3 }, // past it: cut
        { 0, 72, 1 }, { 0, 0, 1 }, { -1, 192, 2 }, // below 100 %; a negative setting is auto
        { 1, 192, 1 }, { 2, 96, 2 }, // forced either way
        { 3, 96, 3 }, // the largest forced factor
        { 4, 96, 3 }, // one past: cut
    };
    for (const auto& c : cases)
        EXPECT_EQ(SkinScale(c.setting, c.dpi), c.scale) << c.setting << " at " << c.dpi;
}

TEST(CoversMonitor, EveryPixelOfTheMonitor)
{
    const ScreenRect monitor = { 1280, 0, 2560, 1024 };
    const std::pair<ScreenRect, bool> cases[] = {
        { { 1280, 0, 2560, 1024 }, true }, // exactly
        { { 1272, -8, 2568, 1032 }, true }, // a maximised window's borders hang over
        { { 1281, 0, 2560, 1024 }, false }, // one column short on each side in turn
        { { 1280, 1, 2560, 1024 }, false }, { { 1280, 0, 2559, 1024 }, false }, { { 1280, 0, 2560, 1023 }, false },
        { { 0, 0, 1280, 1024 }, false }, // the other monitor
        { { 0, 0, 2560, 1024 }, true }, // spanning both
    };
    for (const auto& [window, covers] : cases)
        EXPECT_EQ(CoversMonitor(window, monitor), covers) << window.left << "," << window.top;
}

TEST(HoldsNotificationsBack, BusyDirect3DPresentationAndQuietTime)
{
    const bool held[] = { false, false, true, true, true, false, true, false, false };
    for (int state = 0; state < 9; ++state)
        EXPECT_EQ(HoldsNotificationsBack(state), held[state]) << state;
}
