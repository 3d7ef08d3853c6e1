// Dismissal by a real left click: the popup closes, the count goes to 0, the
// mail client's windows come forward, and all of it happens once.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "input.h"
#include "popup_probe.h"
#include "titled_windows_client.h"

namespace {

constexpr POINT kDesktop = { 1200, 1000 };
const std::string kOutlookTitle = "受信トレイ - Microsoft Outlook";

class Dismiss : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EndStrayNotifiers();
        test::PointerTo(kDesktop);
        // The count must outlive the notifier to be read after it ends.
        HoldCounterSection();
        WriteMailCount(0);
    }
    void TearDown() override
    {
        test::PointerTo(kDesktop);
        test::ButtonUp(test::RIGHT_BUTTON);
        test::EndStrayNotifiers();
    }

    // Starts the sandbox's notifier with `arguments`; its popup, or null.
    HWND Start(const test::Sandbox& box, const std::string& arguments)
    {
        m_notifier = test::Process::Start("\"" + box.exe() + "\" " + arguments);
        return test::WaitForPopupOf(m_notifier.id());
    }

    bool EndedAndGone()
    {
        return m_notifier.Wait(15000) && test::WaitFor([] { return !test::InstanceMutexExists(); });
    }

    // The folder is removed after the notifier has ended, when its files are
    // no longer in use.
    test::Sandbox& NewBox(bool withSkin = true)
    {
        m_box.emplace("larkbell.exe", withSkin);
        return *m_box;
    }

    std::optional<test::Sandbox> m_box;
    test::Process m_notifier;
};

struct DialogWithOk {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchDialogWithOk(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<DialogWithOk*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !::IsWindowVisible(window) || !::GetDlgItem(window, IDOK))
        return TRUE;
    search->found = window;
    return FALSE;
}

// A message box of process `pid`: a visible window with an OK button.
HWND WaitForMessageBoxOf(DWORD pid)
{
    DialogWithOk search = { pid, nullptr };
    test::WaitFor([&] {
        ::EnumWindows(&MatchDialogWithOk, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

} // namespace

TEST_F(Dismiss, LeftClickClosesResetsCountAndEnds)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box, "4");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(ReadMailCount(), 4);
    POINT badge;
    ASSERT_TRUE(test::WaitForBadgeOnTop(popup, &badge));

    ASSERT_TRUE(test::ClickAt(badge, test::LEFT_BUTTON));
    EXPECT_TRUE(EndedAndGone());
    EXPECT_EQ(ReadMailCount(), 0);
    EXPECT_FALSE(box.Exists("larkbell.ini")) << "a left click saves no position";
}

TEST_F(Dismiss, LeftClickDuringRightDragCloses)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box, "2");
    ASSERT_NE(popup, nullptr);
    POINT badge;
    ASSERT_TRUE(test::WaitForBadgeOnTop(popup, &badge));
    // Once it animates, the popup stands on the X screen as well.
    const fw::UniqueRgn shape = test::ShapeOf(popup);
    ASSERT_TRUE(test::WaitForShapeChange(popup, shape.get()));

    ASSERT_TRUE(test::PointerTo(badge));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(badge, test::Shifted(badge, 40, 30), 4));
    ASSERT_TRUE(test::DragTo(popup, test::Shifted(badge, 40, 30), { 40, 30 }));
    ASSERT_TRUE(test::ClickAt(test::Shifted(badge, 40, 30), test::LEFT_BUTTON));
    EXPECT_TRUE(EndedAndGone());
    EXPECT_EQ(ReadMailCount(), 0);
}

// The teardown is stretched by holding the counter lock: the activation pass
// runs, the count write waits. A second pass would restore the window again
// (it minimises itself after each restore), and a second write would undo
// the 7 stored after the first.
TEST_F(Dismiss, RepeatedClicksActivateOnceAndWriteOnce)
{
    test::Sandbox& box = NewBox();
    // No animation tick, which would wait on the lock too.
    box.WriteFile("larkbell.ini", "[setting]\r\ninterval=600000\r\n");
    test::TitledWindows windows({ { "minimised+reminimise", kOutlookTitle } });
    ASSERT_TRUE(windows.ready());
    HWND popup = Start(box, "5");
    ASSERT_NE(popup, nullptr);
    POINT badge;
    ASSERT_TRUE(test::WaitForBadgeOnTop(popup, &badge));

    {
        const CounterLock lock;
        ASSERT_TRUE(lock.held());
        ASSERT_TRUE(test::PointerTo(badge));
        ASSERT_TRUE(test::RunLinux("/usr/bin/xdotool click --repeat 3 --delay 40 1"));
        ASSERT_TRUE(test::WaitFor([&] {
            const std::vector<test::WindowRecord> now = windows.Latest();
            return now.size() == 1 && now[0].restores == 1 && now[0].state == "minimised";
        })) << "the first pass should restore the window";
        ASSERT_TRUE(m_notifier.Running()) << "the count write waits for the lock";
    }
    ASSERT_TRUE(test::WaitFor([] { return ReadMailCount() == 0; }));
    WriteMailCount(7);

    EXPECT_TRUE(EndedAndGone());
    const std::vector<test::WindowRecord> after = windows.Settled();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].restores, 1);
    EXPECT_EQ(after[0].state, "minimised");
    EXPECT_EQ(ReadMailCount(), 7);
}

TEST_F(Dismiss, FailedSkinActivatesNothingAndStillResetsCount)
{
    test::Sandbox& box = NewBox(false);
    box.WriteFile("larkbell.ini", "[setting]\r\nactivate=1\r\nwindowname=受信トレイ\r\n");
    test::TitledWindows windows({ { "minimised", kOutlookTitle }, { "hidden", "" } });
    ASSERT_TRUE(windows.ready());
    m_notifier = test::Process::Start("\"" + box.exe() + "\" 6");
    const HWND message = WaitForMessageBoxOf(m_notifier.id());
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(ReadMailCount(), 6);

    ASSERT_TRUE(test::ClickAt(test::ControlCentre(message, IDOK), test::LEFT_BUTTON));
    EXPECT_TRUE(EndedAndGone());
    EXPECT_EQ(ReadMailCount(), 0);
    const std::vector<test::WindowRecord> after = windows.Settled();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].state, "minimised");
    EXPECT_EQ(after[0].restores, 0);
    EXPECT_EQ(after[1].state, "hidden");
    EXPECT_EQ(after[1].shows, 0);
}
