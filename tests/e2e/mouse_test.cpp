// Right-button dragging of the real popup with real pointer input: the window
// follows the cursor, the animation holds still, and the drop is saved.
#include <gtest/gtest.h>

#include <string.h>

#include <optional>
#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "input.h"
#include "popup_probe.h"

namespace {

constexpr POINT kBadge = test::kBadgeInWindow;
// Another pixel of the bundled skin that is opaque in every frame.
constexpr POINT kEnvelope = { 30, 120 };
// Empty desktop, away from every window the tests open.
constexpr POINT kDesktop = { 1200, 1000 };
constexpr int kSamples = 10;

class RightDrag : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EndStrayNotifiers();
        test::PointerTo(kDesktop);
    }
    void TearDown() override
    {
        test::PointerTo(kDesktop);
        test::ButtonUp(test::RIGHT_BUTTON);
        test::EndStrayNotifiers();
    }

    // Starts the sandbox's notifier and waits for its popup.
    HWND Start(const test::Sandbox& box, const std::string& arguments = "")
    {
        m_notifier = test::Process::Start("\"" + box.exe() + "\" " + arguments);
        return test::WaitForPopupOf(m_notifier.id());
    }

    void Stop()
    {
        m_notifier.Kill();
        test::EndStrayNotifiers();
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

POINT At(POINT topLeft, POINT inWindow) { return test::Shifted(topLeft, inWindow.x, inWindow.y); }

// True when the window keeps `shape` over `kSamples` looks, one animation
// period apart.
bool ShapeHolds(HWND popup, HRGN shape, DWORD periodMs = 100)
{
    for (int i = 0; i < kSamples; ++i) {
        ::Sleep(periodMs);
        if (!test::SameShape(test::ShapeOf(popup).get(), shape))
            return false;
    }
    return true;
}

std::vector<std::string> PositionOnly(int x, int y)
{
    return { "[setting]", "posx=" + std::to_string(x), "posy=" + std::to_string(y) };
}

// A 24-bit BMP file of one 120 x 150 frame: magenta key around a green card.
std::string OneFrameSkin(COLORREF card)
{
    const int width = 120;
    const int height = 150;
    const int stride = (width * 3 + 3) & ~3;
    const DWORD imageSize = static_cast<DWORD>(stride * height);
    std::string file(14 + 40 + imageSize, '\0');
    auto put16 = [&](size_t at, WORD value) { memcpy(&file[at], &value, 2); };
    auto put32 = [&](size_t at, DWORD value) { memcpy(&file[at], &value, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<DWORD>(file.size()));
    put32(10, 14 + 40);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    put16(26, 1);
    put16(28, 24);
    put32(34, imageSize);
    for (int y = 0; y < height; ++y) {
        const size_t row = 14 + 40 + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const bool inCard = x >= 20 && x < 110 && y >= 30 && y < 140;
            const COLORREF colour = inCard ? card : RGB(255, 0, 255);
            file[row + x * 3] = static_cast<char>(GetBValue(colour));
            file[row + x * 3 + 1] = static_cast<char>(GetGValue(colour));
            file[row + x * 3 + 2] = static_cast<char>(GetRValue(colour));
        }
    }
    return file;
}

// Holds a file immutable (chattr +i) for the life of the object.
class ImmutableFile {
public:
    explicit ImmutableFile(const std::string& windowsPath)
        : m_path(test::LinuxPath(windowsPath))
    {
        test::RunLinux("chattr +i '" + m_path + "'");
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    ~ImmutableFile() { test::RunLinux("chattr -i '" + m_path + "'"); }

private:
    std::string m_path;
};

} // namespace

TEST_F(RightDrag, WindowFollowsCursorAnimationHoldsAndDropIsSaved)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box, "3");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    fw::UniqueRgn before = test::ShapeOf(popup);
    ASSERT_TRUE(test::WaitForShapeChange(popup, before.get())) << "the popup should animate before the drag";

    const POINT press = At({ 0, 0 }, kBadge);
    ASSERT_TRUE(test::PointerTo(press));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(press, test::Shifted(press, 100, 75), 5));
    EXPECT_TRUE(test::DragTo(popup, test::Shifted(press, 100, 75), { 100, 75 })) << "half-way";
    ASSERT_TRUE(test::PointerGlide(test::Shifted(press, 100, 75), test::Shifted(press, 200, 150), 5));
    EXPECT_TRUE(test::DragTo(popup, test::Shifted(press, 200, 150), { 200, 150 })) << "at the end";

    const fw::UniqueRgn held = test::ShapeOf(popup);
    EXPECT_TRUE(ShapeHolds(popup, held.get())) << "the animation should stop while the button is held";
    EXPECT_FALSE(box.Exists("larkbell.ini")) << "nothing is saved before the drop";

    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));
    EXPECT_TRUE(test::WaitForShapeChange(popup, held.get())) << "the animation should resume after the drop";
    EXPECT_TRUE(test::WaitForTopLeft(popup, { 200, 150 }));
    ASSERT_TRUE(test::WaitFor([&] { return box.Exists("larkbell.ini"); }));
    EXPECT_EQ(test::NonBlankLines(box.ReadFile("larkbell.ini")), PositionOnly(200, 150));
    EXPECT_FALSE(test::SaveScreenshot("popup-after-drag", { 0, 0, 480, 360 }).empty());

    Stop();
    popup = Start(box);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(test::WaitForTopLeft(popup, { 200, 150 })) << "the next start opens where the drag ended";
}

TEST_F(RightDrag, NegativePlaceIsSavedBesideOtherLinesAndReopened)
{
    test::Sandbox& box = NewBox();
    const std::vector<std::string> original = {
        "; larkbell",
        "[mail]",
        "posx=7",
        "[setting]",
        "; where the popup was left",
        "fontsize=14",
        "posx=10",
        "posy=20",
        "windowname=- Microsoft Outlook",
        "[other]",
        "key=value",
    };
    std::string text;
    for (const std::string& line : original)
        text += line + "\r\n";
    box.WriteFile("larkbell.ini", text);

    HWND popup = Start(box);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 10, 20 }));
    const POINT press = At({ 10, 20 }, kBadge);
    ASSERT_TRUE(test::PointerTo(press));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(press, test::Shifted(press, -50, 5), 5));
    EXPECT_TRUE(test::DragTo(popup, test::Shifted(press, -50, 5), { -40, 25 }));
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));

    std::vector<std::string> expected = original;
    expected[6] = "posx=-40";
    expected[7] = "posy=25";
    EXPECT_TRUE(test::WaitFor([&] { return test::NonBlankLines(box.ReadFile("larkbell.ini")) == expected; }))
        << box.ReadFile("larkbell.ini");

    Stop();
    popup = Start(box);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(test::WaitForTopLeft(popup, { -40, 25 }));
}

TEST_F(RightDrag, ClickWithoutMovementRewritesBothKeysInPlace)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    // The file is read once, at the start: what is written now is stale.
    box.WriteFile("larkbell.ini", "[setting]\r\nposx=500\r\nposy=600\r\n");

    ASSERT_TRUE(test::ClickAt(At({ 0, 0 }, kBadge), test::RIGHT_BUTTON));
    EXPECT_TRUE(test::WaitFor([&] { return test::NonBlankLines(box.ReadFile("larkbell.ini")) == PositionOnly(0, 0); }))
        << box.ReadFile("larkbell.ini");
    EXPECT_TRUE(test::SamePoint(test::TopLeftOf(popup), { 0, 0 }));
    const fw::UniqueRgn shape = test::ShapeOf(popup);
    EXPECT_TRUE(test::WaitForShapeChange(popup, shape.get())) << "the animation should go on";
}

TEST_F(RightDrag, ReadOnlySettingsFileStaysAsItWas)
{
    test::Sandbox& box = NewBox();
    const std::string original = "[setting]\r\nposx=0\r\nposy=0\r\ntrans=255\r\n";
    box.WriteFile("larkbell.ini", original);
    ASSERT_TRUE(::SetFileAttributesA(box.sibling("ini").c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine writes as the Linux user, and for root (as the tests run) no file
    // mode stops a write: the file is made immutable on the Linux side too.
    const ImmutableFile unwritable(box.sibling("ini"));

    HWND popup = Start(box);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    const POINT press = At({ 0, 0 }, kBadge);
    ASSERT_TRUE(test::PointerTo(press));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(press, test::Shifted(press, 60, 40), 4));
    EXPECT_TRUE(test::DragTo(popup, test::Shifted(press, 60, 40), { 60, 40 }));
    const fw::UniqueRgn held = test::ShapeOf(popup);
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));

    // The animation restarts in the same handler, just before the write.
    ASSERT_TRUE(test::WaitForShapeChange(popup, held.get()));
    EXPECT_TRUE(test::SamePoint(test::TopLeftOf(popup), { 60, 40 }));
    EXPECT_EQ(box.ReadFile("larkbell.ini"), original) << "the file should have stayed unwritable";
}

TEST_F(RightDrag, ReleaseWithoutPressOnWindowIsIgnored)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    ASSERT_EQ(::WindowFromPoint(kDesktop), ::GetDesktopWindow());

    // Pressed on the desktop, released over the popup: only the release
    // reaches the window.
    ASSERT_TRUE(test::PointerTo(kDesktop));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(kDesktop, At({ 0, 0 }, kEnvelope), 4));
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));
    const fw::UniqueRgn shape = test::ShapeOf(popup);
    ASSERT_TRUE(test::WaitForShapeChange(popup, shape.get()));
    EXPECT_TRUE(test::SamePoint(test::TopLeftOf(popup), { 0, 0 }));

    // A left click after it: once the process has ended, the release has
    // been handled before it.
    ASSERT_TRUE(test::ClickAt(At({ 0, 0 }, kBadge), test::LEFT_BUTTON));
    ASSERT_TRUE(m_notifier.Wait(15000));
    EXPECT_FALSE(box.Exists("larkbell.ini"));
}

TEST_F(RightDrag, ReleaseAfterCompletedDragPlacesByLastOffset)
{
    test::Sandbox& box = NewBox();
    HWND popup = Start(box);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    const POINT press = At({ 0, 0 }, kBadge);
    ASSERT_TRUE(test::PointerTo(press));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(press, test::Shifted(press, 100, 100), 4));
    ASSERT_TRUE(test::DragTo(popup, test::Shifted(press, 100, 100), { 100, 100 }));
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));
    ASSERT_TRUE(
        test::WaitFor([&] { return test::NonBlankLines(box.ReadFile("larkbell.ini")) == PositionOnly(100, 100); }));

    // The next release comes without a press on the window; the offset of the
    // drag before puts the badge under the cursor.
    ASSERT_TRUE(test::PointerTo(kDesktop));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    const POINT release = At({ 100, 100 }, kEnvelope);
    ASSERT_TRUE(test::PointerGlide(kDesktop, release, 4));
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));
    const POINT expected = { release.x - kBadge.x, release.y - kBadge.y };
    EXPECT_TRUE(test::WaitForTopLeft(popup, expected));
    EXPECT_TRUE(test::WaitFor([&] {
        return test::NonBlankLines(box.ReadFile("larkbell.ini")) == PositionOnly(expected.x, expected.y);
    })) << box.ReadFile("larkbell.ini");
}

TEST_F(RightDrag, OneFrameSkinStaysStillAndShowsNoCount)
{
    const COLORREF card = RGB(30, 140, 60);
    test::Sandbox& box = NewBox(false);
    box.WriteFile("larkbell.bmp", OneFrameSkin(card));
    HWND popup = Start(box, "88");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(test::WaitForTopLeft(popup, { 0, 0 }));
    const fw::UniqueRgn shape = test::ShapeOf(popup);
    ASSERT_NE(shape.get(), nullptr);
    const RECT textBox = { 85, 86, 106, 100 };
    ASSERT_TRUE(test::WaitFor([&] {
        const std::vector<COLORREF> shown = test::ScreenColours(textBox);
        return shown == std::vector<COLORREF>(shown.size(), card);
    })) << "the card should be on show";

    const POINT press = At({ 0, 0 }, kBadge);
    ASSERT_TRUE(test::PointerTo(press));
    ASSERT_TRUE(test::ButtonDown(test::RIGHT_BUTTON));
    ASSERT_TRUE(test::PointerGlide(press, test::Shifted(press, 50, 40), 4));
    EXPECT_TRUE(test::DragTo(popup, test::Shifted(press, 50, 40), { 50, 40 }));
    ASSERT_TRUE(test::ButtonUp(test::RIGHT_BUTTON));
    ASSERT_TRUE(
        test::WaitFor([&] { return test::NonBlankLines(box.ReadFile("larkbell.ini")) == PositionOnly(50, 40); }));

    EXPECT_TRUE(ShapeHolds(popup, shape.get())) << "a single frame never animates";
    const RECT movedBox = { 135, 126, 156, 140 };
    const std::vector<COLORREF> shown = test::ScreenColours(movedBox);
    EXPECT_EQ(shown, std::vector<COLORREF>(shown.size(), card)) << "no count is drawn without animation";
    EXPECT_EQ(ReadMailCount(), 88);
}
