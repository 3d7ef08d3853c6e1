// The About box, opened by the About system command, and the other system
// commands, which take their usual course. The popup has no caption, so the
// command is posted to it as its system menu would send it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "input.h"
#include "popup_probe.h"

namespace {

constexpr POINT kDesktop = { 1200, 1000 };
const char kCaption[] = "larkbellのﾊﾞｰｼﾞｮﾝ情報";
// Where the About box is put aside, clear of the popup at (0, 0).
constexpr POINT kAside = { 500, 400 };

class About : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EndStrayNotifiers();
        test::PointerTo(kDesktop);
        HoldCounterSection();
        m_notifier = test::Process::Start("\"" + m_box.exe() + "\" 3");
        m_popup = test::WaitForPopupOf(m_notifier.id());
    }
    void TearDown() override { test::EndStrayNotifiers(); }

    HWND OpenAbout(WPARAM command)
    {
        ::PostMessageA(m_popup, WM_SYSCOMMAND, command, 0);
        return test::WaitForDialogOf(m_notifier.id(), 10000, kCaption);
    }

    bool AboutGone(DWORD ms = 10000) const
    {
        return test::WaitFor([&] { return test::FindDialogOf(m_notifier.id(), kCaption) == nullptr; }, ms);
    }

    // Moves the box clear of the popup, as a user would drag it away.
    static bool PutAside(HWND about)
    {
        ::SetWindowPos(about, nullptr, kAside.x, kAside.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return test::WaitForTopLeft(about, kAside);
    }

    // The popup's top-most refresh takes the activation, and with it the
    // keyboard, every second (it is placed without SWP_NOACTIVATE). So the
    // box is clicked to have it back and Escape pressed at once; when a
    // refresh comes in between, the user tries again.
    bool EscapeCloses(HWND about) const
    {
        RECT client = {};
        ::GetClientRect(about, &client);
        POINT inside = { client.right / 2, client.bottom - 4 };
        ::ClientToScreen(about, &inside);
        for (int attempt = 0; attempt < 5; ++attempt) {
            test::RunLinux("/usr/bin/xdotool mousemove " + std::to_string(inside.x) + " " + std::to_string(inside.y)
                + " click 1 key Escape");
            if (AboutGone(2000))
                return true;
        }
        return false;
    }

    test::Sandbox m_box;
    test::Process m_notifier;
    HWND m_popup = nullptr;
};

struct Child {
    std::string className;
    std::string text;
    LONG style;
    int id;
    HWND hwnd;
};

std::vector<Child> ChildrenOf(HWND dialog)
{
    std::vector<Child> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = {};
        char text[256] = {};
        ::GetClassNameA(child, className, sizeof className);
        ::GetWindowTextA(child, text, sizeof text);
        children.push_back({ className, text, ::GetWindowLongA(child, GWL_STYLE), ::GetDlgCtrlID(child), child });
    }
    return children;
}

bool SameClass(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

} // namespace

TEST_F(About, AboutCommandsOpenAFreshBoxEachTime)
{
    ASSERT_NE(m_popup, nullptr);

    // The low four bits and bits 16 to 31 of the command are not looked at.
    HWND about = OpenAbout(0x0010);
    ASSERT_NE(about, nullptr);
    char caption[64] = {};
    ::GetWindowTextA(about, caption, sizeof caption);
    EXPECT_STREQ(caption, kCaption);
    const std::vector<Child> children = ChildrenOf(about);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_TRUE(SameClass(children[0].className, "Static"));
    EXPECT_EQ(children[0].style & SS_TYPEMASK, SS_ICON);
    EXPECT_NE(::SendMessageA(children[0].hwnd, STM_GETICON, 0, 0), 0) << "the icon is shown";
    EXPECT_EQ(children[1].text, "larkbell Version 1.0");
    EXPECT_EQ(children[2].text, "新着メール通知");
    EXPECT_TRUE(SameClass(children[3].className, "Button"));
    EXPECT_EQ(children[3].id, IDOK);
    EXPECT_EQ(children[3].text, "OK");
    EXPECT_FALSE(::IsWindowEnabled(m_popup)) << "the popup waits for the box";
    EXPECT_FALSE(test::SaveScreenshot("about-box", { 0, 0, 640, 360 }).empty());

    ASSERT_TRUE(test::ClickAt(test::ControlCentre(about, IDOK), test::LEFT_BUTTON));
    ASSERT_TRUE(AboutGone()) << "OK closes the box";
    EXPECT_TRUE(test::WaitFor([&] { return ::IsWindowEnabled(m_popup) != FALSE; }));

    about = OpenAbout(0x001F);
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(PutAside(about));
    EXPECT_TRUE(EscapeCloses(about));

    about = OpenAbout(0x00010010);
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(test::ClickAt(test::ControlCentre(about, IDOK), test::LEFT_BUTTON));
    ASSERT_TRUE(AboutGone());

    EXPECT_TRUE(m_notifier.Running());
    EXPECT_EQ(ReadMailCount(), 3) << "closing the box leaves the popup alone";
}

TEST_F(About, AnimationAndCountGoOnWhileTheBoxIsOpen)
{
    ASSERT_NE(m_popup, nullptr);
    const HWND about = OpenAbout(0x0010);
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(PutAside(about));

    const fw::UniqueRgn shape = test::ShapeOf(m_popup);
    EXPECT_TRUE(test::WaitForShapeChange(m_popup, shape.get())) << "the animation goes on";

    const POINT topLeft = test::TopLeftOf(m_popup);
    const RECT textBox = { topLeft.x + 85, topLeft.y + 86, topLeft.x + 106, topLeft.y + 100 };
    std::vector<COLORREF> three;
    ASSERT_TRUE(test::WaitFor([&] {
        three = test::ScreenColours(textBox);
        ::Sleep(300);
        return test::ScreenColours(textBox) == three;
    })) << "the count should stand still";

    ASSERT_EQ(test::Ctl("add 1").exitCode, 0u);
    EXPECT_EQ(ReadMailCount(), 4);
    EXPECT_TRUE(test::WaitFor([&] { return test::ScreenColours(textBox) != three; })) << "the count drawn changes";
    EXPECT_FALSE(test::SaveScreenshot("popup-beside-about-box", { 0, 0, 960, 600 }).empty());
    EXPECT_NE(test::FindDialogOf(m_notifier.id(), kCaption), nullptr) << "the box is still open";
}

TEST_F(About, CloseCommandDismissesThePopup)
{
    ASSERT_NE(m_popup, nullptr);
    EXPECT_EQ(ReadMailCount(), 3);
    ::PostMessageA(m_popup, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(m_notifier.Wait(15000));
    EXPECT_TRUE(test::WaitFor([] { return !test::InstanceMutexExists(); }));
    EXPECT_EQ(ReadMailCount(), 0);
}

TEST(AboutPlacement, BoxOpensCentredOverThePopupInsideTheWorkArea)
{
    test::EndStrayNotifiers();
    RECT work;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    struct {
        POINT popupAt;
        bool centred; // otherwise, wider than room on the left, pushed against the work area's left edge
    } cases[] = { { { 400, 300 }, true }, { { 0, 0 }, false } };
    for (const auto& c : cases) {
        test::Sandbox box;
        box.WriteFile("larkbell.ini",
            "[setting]\r\nposx=" + std::to_string(c.popupAt.x) + "\r\nposy=" + std::to_string(c.popupAt.y) + "\r\n");
        test::Process notifier = test::Process::Start("\"" + box.exe() + "\"");
        const HWND popup = test::WaitForPopupOf(notifier.id());
        ASSERT_NE(popup, nullptr);
        ASSERT_TRUE(test::WaitForTopLeft(popup, c.popupAt));
        ::PostMessageA(popup, WM_SYSCOMMAND, 0x0010, 0);
        const HWND about = test::WaitForDialogOf(notifier.id(), 10000, kCaption);
        ASSERT_NE(about, nullptr);
        RECT popupRect;
        RECT aboutRect;
        ::GetWindowRect(popup, &popupRect);
        ::GetWindowRect(about, &aboutRect);
        EXPECT_NEAR((aboutRect.top + aboutRect.bottom) / 2, (popupRect.top + popupRect.bottom) / 2, 1);
        if (c.centred)
            EXPECT_NEAR((aboutRect.left + aboutRect.right) / 2, (popupRect.left + popupRect.right) / 2, 1);
        else
            EXPECT_EQ(aboutRect.left, work.left);
        notifier.Kill();
    }
    test::EndStrayNotifiers();
}
