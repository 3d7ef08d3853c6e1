// On dismissal the notifier shows and brings forward the top-level windows
// of other programs whose titles hold the "windowname" text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "input.h"
#include "popup_probe.h"
#include "titled_windows_client.h"

namespace {

constexpr POINT kDesktop = { 1200, 1000 };
const std::string kOutlook = "- Microsoft Outlook";

class Activation : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EndStrayNotifiers();
        test::PointerTo(kDesktop);
        HoldCounterSection();
    }
    void TearDown() override { test::EndStrayNotifiers(); }

    // Runs a notifier with `settings` over the helper's windows, dismisses it
    // with a left click, and gives what happened to them.
    std::vector<test::WindowRecord> DismissOver(test::TitledWindows& windows, const std::string& settings)
    {
        test::Sandbox box;
        box.WriteFile("larkbell.ini", "[setting]\r\n" + settings);
        test::Process notifier = test::Process::Start("\"" + box.exe() + "\" 5");
        const HWND popup = test::WaitForPopupOf(notifier.id());
        POINT badge;
        if (!popup || !test::WaitForBadgeOnTop(popup, &badge)) {
            ADD_FAILURE() << "no popup on top";
            return {};
        }
        EXPECT_EQ(ReadMailCount(), 5);
        m_zOrder = ZOrder();
        EXPECT_TRUE(test::ClickAt(badge, test::LEFT_BUTTON));
        EXPECT_TRUE(notifier.Wait(15000));
        EXPECT_EQ(ReadMailCount(), 0) << "dismissal resets the count";
        return windows.Settled();
    }

    // Top-level windows, topmost first, as the notifier enumerates them.
    static std::vector<HWND> ZOrder()
    {
        std::vector<HWND> order;
        ::EnumWindows(
            [](HWND window, LPARAM context) {
                reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&order));
        return order;
    }

    // Of `candidates`, the one enumerated last before the click.
    HWND EnumeratedLast(const std::vector<HWND>& candidates) const
    {
        HWND last = nullptr;
        for (HWND window : m_zOrder) {
            for (HWND candidate : candidates) {
                if (window == candidate)
                    last = window;
            }
        }
        return last;
    }

    std::vector<HWND> m_zOrder;
};

// Activations alone say nothing: when the popup goes, the system hands the
// activation on to some other window.
void ExpectUntouched(const test::WindowRecord& record, const char* state, const char* what)
{
    EXPECT_EQ(record.state, state) << what;
    EXPECT_EQ(record.restores, 0) << what;
    EXPECT_EQ(record.shows, 0) << what;
}

void ExpectBroughtBack(const test::WindowRecord& record, const char* what)
{
    EXPECT_EQ(record.state, "normal") << what;
    EXPECT_EQ(record.restores, 1) << what;
    EXPECT_GE(record.activations, 1) << what;
}

} // namespace

TEST_F(Activation, MatchingWindowsComeBackAndTheLastEnumeratedEndsInFront)
{
    test::TitledWindows windows({
        { "minimised", "受信トレイ " + kOutlook },
        { "maximised", "予定表 " + kOutlook },
        { "hidden", "連絡先 " + kOutlook },
        { "minimised", "Inbox - microsoft outlook" },
        // The text ends at byte 259, the last one the notifier reads.
        { "minimised", std::string(240, 'x') + kOutlook },
        // One byte later it is cut off.
        { "minimised", std::string(241, 'x') + kOutlook },
        { "normal", "メモ帳" },
    });
    ASSERT_TRUE(windows.ready());
    const std::vector<HWND> matching = { windows.hwnd(0), windows.hwnd(1), windows.hwnd(2), windows.hwnd(4) };
    WINDOWPLACEMENT maximised = {};
    maximised.length = sizeof maximised;
    ASSERT_TRUE(::GetWindowPlacement(windows.hwnd(1), &maximised));

    const std::vector<test::WindowRecord> after = DismissOver(windows, "");
    ASSERT_EQ(after.size(), 7u);
    ExpectBroughtBack(after[0], "minimised match");
    ExpectBroughtBack(after[1], "maximised match");
    ExpectBroughtBack(after[2], "hidden match");
    ExpectBroughtBack(after[4], "match ending at byte 259");
    ExpectUntouched(after[3], "minimised", "title differing in case");
    ExpectUntouched(after[5], "minimised", "text past byte 259");
    ExpectUntouched(after[6], "normal", "unrelated title");

    RECT now = {};
    ::GetWindowRect(windows.hwnd(1), &now);
    EXPECT_TRUE(::EqualRect(&now, &maximised.rcNormalPosition)) << "a maximised window returns to its normal size";

    const HWND last = EnumeratedLast(matching);
    EXPECT_EQ(::GetForegroundWindow(), last);
    HWND activatedLast = nullptr;
    int latest = 0;
    for (size_t i : { 0u, 1u, 2u, 4u }) {
        if (after[i].lastActivation > latest) {
            latest = after[i].lastActivation;
            activatedLast = windows.hwnd(i);
        }
    }
    EXPECT_EQ(activatedLast, last);
}

TEST_F(Activation, ActivateZeroTouchesNothingAndStillResetsCount)
{
    test::TitledWindows windows({ { "minimised", "受信トレイ " + kOutlook }, { "hidden", "予定表 " + kOutlook } });
    ASSERT_TRUE(windows.ready());
    const std::vector<test::WindowRecord> after = DismissOver(windows, "activate=0\r\n");
    ASSERT_EQ(after.size(), 2u);
    ExpectUntouched(after[0], "minimised", "minimised match");
    ExpectUntouched(after[1], "hidden", "hidden match");
}

TEST_F(Activation, EmptyWindowNameTouchesNothing)
{
    test::TitledWindows windows({
        { "minimised", "受信トレイ " + kOutlook },
        { "hidden", "" },
        { "minimised", "" },
    });
    ASSERT_TRUE(windows.ready());
    const std::vector<test::WindowRecord> after = DismissOver(windows, "windowname=\r\n");
    ASSERT_EQ(after.size(), 3u);
    ExpectUntouched(after[0], "minimised", "titled window");
    ExpectUntouched(after[1], "hidden", "hidden untitled window");
    ExpectUntouched(after[2], "minimised", "minimised untitled window");
}

// "、" is 81 41 in code page 932; "＝A" is 81 81 41, which holds 81 41 from
// the second byte of "＝" on.
TEST_F(Activation, JapaneseTextMatchesOnCharacterBoundariesOnly)
{
    test::TitledWindows windows({
        { "minimised", "新着、受信トレイ" },
        { "minimised", "新着＝A受信トレイ" },
    });
    ASSERT_TRUE(windows.ready());
    const std::vector<test::WindowRecord> after = DismissOver(windows, "windowname=、受信トレイ\r\n");
    ASSERT_EQ(after.size(), 2u);
    ExpectBroughtBack(after[0], "whole characters");
    ExpectUntouched(after[1], "minimised", "match across a double-byte character");
}
