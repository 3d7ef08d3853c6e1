#include <gtest/gtest.h>

#include "harness.h"

namespace {

class Placement : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }

    // Starts the notifier with `ini` and waits until it stands at `expected`.
    bool OpensAt(const std::string& ini, POINT expected, RECT* seen)
    {
        box.WriteFile("larkbell.ini", ini);
        notifier = test::Process::Start("\"" + box.exe() + "\"");
        const HWND popup = test::WaitForDialogOf(notifier.id());
        if (!popup)
            return false;
        return test::WaitFor([&] {
            ::GetWindowRect(popup, seen);
            return seen->left == expected.x && seen->top == expected.y;
        });
    }

    test::Sandbox box;
    test::Process notifier;
};

} // namespace

TEST_F(Placement, PositionOnNoMonitorFallsBackToWorkAreaAndFileKeepsIt)
{
    RECT workArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    const std::string ini = "[setting]\r\nposx=5000\r\nposy=-3000\r\n";
    RECT seen = {};
    EXPECT_TRUE(OpensAt(ini, POINT { workArea.left, workArea.top }, &seen)) << seen.left << "," << seen.top;
    // The top-most upkeep, a second later, keeps it there too.
    ::Sleep(1300);
    ::GetWindowRect(test::FindDialogOf(notifier.id()), &seen);
    EXPECT_EQ(seen.left, workArea.left);
    EXPECT_EQ(seen.top, workArea.top);
    EXPECT_EQ(box.ReadFile("larkbell.ini"), ini);
}

TEST_F(Placement, PartlyVisiblePositionIsUsedExactly)
{
    RECT seen = {};
    EXPECT_TRUE(OpensAt("[setting]\r\nposx=-40\r\nposy=25\r\n", POINT { -40, 25 }, &seen))
        << seen.left << "," << seen.top;
}

TEST_F(Placement, DefaultPlaceHoldsFromTheFirstLook)
{
    notifier = test::Process::Start("\"" + box.exe() + "\"");
    const HWND popup = test::WaitForDialogOf(notifier.id());
    ASSERT_NE(popup, nullptr);
    // Every look over the first animation periods finds it at (0, 0): it is
    // never shown anywhere else on the way.
    for (int look = 0; look < 30; ++look) {
        RECT seen = {};
        ::GetWindowRect(popup, &seen);
        ASSERT_EQ(seen.left, 0) << "look " << look;
        ASSERT_EQ(seen.top, 0) << "look " << look;
        ::Sleep(10);
    }
}
