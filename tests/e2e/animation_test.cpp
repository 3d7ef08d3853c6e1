// The running popup: where it stands, its band and alpha, the pace of its
// animation, the count it draws (read back from the screen) and its place
// at the top of the top-most band.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "harness.h"
#include "popup.h"

namespace {

constexpr COLORREF kBody = RGB(0, 64, 128);
constexpr COLORREF kText = RGB(255, 255, 0);
constexpr RECT kTextBox = { 20, 20, 80, 60 };
constexpr int kFontSize = 24;
const char kFace[] = "ＭＳ ゴシック";

// `frames` frames of 60 x 50, each with a body of its own size.
test::Picture NumberedShapes(int frames)
{
    test::Picture strip(60 * frames, 50, test::kKey);
    for (int i = 0; i < frames; ++i)
        strip.Fill(60 * i + 2, 3, 60 * i + 14 + i, 12 + i, kBody);
    return strip;
}

// One frame of 100 x 80 with a flat background under the count; the key
// colour only at the corners.
test::Picture CountFrame()
{
    test::Picture frame(100, 80, kBody);
    frame.set(0, 0, test::kKey);
    frame.set(99, 79, test::kKey);
    return frame;
}

// `copies` copies of `frame` side by side.
test::Picture Repeated(const test::Picture& frame, int copies)
{
    test::Picture strip(frame.width() * copies, frame.height(), 0);
    for (int i = 0; i < copies; ++i)
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                strip.set(i * frame.width() + x, y, frame.at(x, y));
    return strip;
}

std::string CountSettings(int interval)
{
    return "bmpwidth=100\r\ntrans=255\r\nposx=200\r\nposy=150\r\ninterval=" + std::to_string(interval)
        + "\r\ntextleft=20\r\ntexttop=20\r\ntextright=80\r\ntextbottom=60\r\nfontsize=24\r\n"
          "fontcolr=255\r\nfontcolg=255\r\nfontcolb=0\r\n";
}

// What the popup shows of its first frame's size, from the screen.
test::Picture OnScreen(HWND popup, const test::Picture& frame)
{
    RECT window = {};
    ::GetWindowRect(popup, &window);
    const RECT area = { window.left, window.top, window.left + frame.width(), window.top + frame.height() };
    return test::ScreenPixels(area);
}

// Waits until the text box on screen is exactly `expected`; the pixels that
// still differ at the end.
int WaitForTextBox(HWND popup, const test::Picture& expected, DWORD ms = 10000)
{
    int differing = 0;
    test::WaitFor(
        [&] {
            differing = test::DifferingPixels(OnScreen(popup, expected), expected, kTextBox);
            return differing == 0;
        },
        ms);
    return differing;
}

int PixelsOfColour(const test::Picture& picture, COLORREF colour, const RECT& box)
{
    int count = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            count += picture.at(x, y) == colour ? 1 : 0;
    return count;
}

class Animation : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }
};

} // namespace

TEST_F(Animation, PopupStandsWhereTheSettingsSayOnTopWithTheirAlpha)
{
    struct Case {
        const char* lines;
        POINT at;
        BYTE alpha;
    };
    const Case cases[] = {
        { "posx=210\r\nposy=130\r\ntrans=255\r\n", { 210, 130 }, 255 },
        { "posx=-40\r\nposy=25\r\ntrans=256\r\n", { -40, 25 }, 0 },
        { "posx=300\r\nposy=200\r\ntrans=300\r\n", { 300, 200 }, 44 },
        { "", { 0, 0 }, 200 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        test::Notifier notifier;
        notifier.SetSkin(NumberedShapes(2));
        notifier.SetSettings(std::string("bmpwidth=60\r\n") + c.lines);
        const HWND popup = notifier.Start();
        ASSERT_NE(popup, nullptr);
        RECT where = {};
        EXPECT_TRUE(test::WaitFor([&] {
            ::GetWindowRect(popup, &where);
            return where.left == c.at.x && where.top == c.at.y;
        })) << where.left
            << "," << where.top;
        EXPECT_NE(::GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        COLORREF key = 0;
        BYTE alpha = 0;
        DWORD flags = 0;
        ASSERT_TRUE(::GetLayeredWindowAttributes(popup, &key, &alpha, &flags));
        EXPECT_EQ(alpha, c.alpha);
        EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
        test::EndStrayNotifiers();
    }
}

// Timers never fire early, so a one-second period gives at most 3 changes
// in 3 seconds; the same skin at 50 ms gives far more.
TEST_F(Animation, IntervalZeroStepsOncePerSecond)
{
    const test::Picture strip = NumberedShapes(30);
    const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 60, 30);
    int ticks[2] = {};
    const int intervals[2] = { 0, 50 };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("interval " + std::to_string(intervals[i]));
        test::Notifier notifier;
        notifier.SetSkin(strip);
        notifier.SetSettings("bmpwidth=60\r\ninterval=" + std::to_string(intervals[i]) + "\r\n");
        const HWND popup = notifier.Start();
        ASSERT_NE(popup, nullptr);
        const std::vector<int> seen = test::WatchFrames(popup, frames, 3000);
        ASSERT_EQ(seen.at(0), 0);
        ticks[i] = test::TicksIn(seen, 30);
        test::EndStrayNotifiers();
    }
    EXPECT_LE(ticks[0], 4);
    EXPECT_GT(ticks[1], 4);

    // And it does step: at least twice, given time.
    test::Notifier notifier;
    notifier.SetSkin(strip);
    notifier.SetSettings("bmpwidth=60\r\ninterval=0\r\n");
    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);
    const std::vector<int> seen
        = test::WatchFrames(popup, frames, 15000, [](const std::vector<int>& s) { return s.size() >= 3; });
    EXPECT_EQ(seen, (std::vector<int> { 0, 1, 2 }));
}

TEST_F(Animation, CountIsDrawnInTheTextBoxAndFollowsTheCounter)
{
    const test::Picture frame = CountFrame();
    test::Notifier notifier;
    notifier.SetSkin(Repeated(frame, 2));
    notifier.SetSettings(CountSettings(100));
    const HWND popup = notifier.Start("7");
    ASSERT_NE(popup, nullptr);

    const test::Picture seven = test::RenderCount(frame, kTextBox, "7", kFontSize, kFace, kText);
    const test::Picture minusThree = test::RenderCount(frame, kTextBox, "-3", kFontSize, kFace, kText);
    ASSERT_GT(PixelsOfColour(seven, kText, kTextBox), 0);
    ASSERT_GT(test::DifferingPixels(seven, minusThree, kTextBox), 0);

    EXPECT_EQ(WaitForTextBox(popup, seven), 0);
    const test::Picture shown = OnScreen(popup, frame);
    EXPECT_GT(PixelsOfColour(shown, kText, kTextBox), 0);
    const RECT whole = { 0, 0, frame.width(), frame.height() };
    EXPECT_EQ(PixelsOfColour(shown, kText, whole), PixelsOfColour(shown, kText, kTextBox));

    ASSERT_EQ(test::Ctl("set -3").exitCode, 0u);
    EXPECT_EQ(WaitForTextBox(popup, minusThree), 0);
}

TEST_F(Animation, SingleFrameNeverShowsTheCount)
{
    const test::Picture frame = CountFrame();
    const test::Picture counted = test::RenderCount(frame, kTextBox, "88", kFontSize, kFace, kText);
    ASSERT_GT(test::DifferingPixels(frame, counted, kTextBox), 0);

    // Two frames alike: the count shows after the first tick.
    {
        test::Notifier notifier;
        notifier.SetSkin(Repeated(frame, 2));
        notifier.SetSettings(CountSettings(100));
        const HWND popup = notifier.Start("88");
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(WaitForTextBox(popup, counted), 0);
    }
    test::EndStrayNotifiers();

    // One frame: only the frame, ever.
    test::Notifier notifier;
    notifier.SetSkin(frame);
    notifier.SetSettings(CountSettings(100));
    const HWND popup = notifier.Start("88");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(WaitForTextBox(popup, frame), 0);
    int countSeen = 0;
    test::WaitFor(
        [&] {
            countSeen += test::DifferingPixels(OnScreen(popup, frame), frame, kTextBox) > 0 ? 1 : 0;
            return false;
        },
        2500);
    EXPECT_EQ(countSeen, 0);
}

// Another program's top-most window laid over the popup ends up below it
// again within the popup's one-second upkeep. Wine's z-order across
// processes may flicker, so it is judged over the last second of three.
TEST_F(Animation, PopupReturnsAboveAnotherTopMostWindow)
{
    test::Notifier notifier;
    notifier.SetSkin(NumberedShapes(2));
    notifier.SetSettings("bmpwidth=60\r\nposx=200\r\nposy=150\r\ninterval=100\r\n");
    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);
    RECT where = {};
    ::GetWindowRect(popup, &where);
    // Past the first refresh, 100 ms after start: from here on only the
    // one-second upkeep can bring the popup back.
    ::Sleep(1500);

    char command[512];
    snprintf(command, sizeof command, "\"%s\\tests\\gdi_probe_cover.exe\" %ld %ld %ld %ld %llx",
        test::ProgramDir().c_str(), where.left, where.top, where.right - where.left, where.bottom - where.top,
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(popup)));
    test::Process cover = test::Process::Start(command, true);
    ASSERT_TRUE(test::WaitFor([&] { return cover.Output().find('\n') != std::string::npos; }));
    ASSERT_EQ(cover.Output().substr(0, 5), "above");
    const HWND coverWindow = ::FindWindowA("gdi_probe_cover", nullptr);
    ASSERT_NE(coverWindow, nullptr);

    // Inside frame 0's body.
    const POINT inside = { where.left + 8, where.top + 10 };
    int samples = 0;
    int popupAbove = 0;
    int popupAtPoint = 0;
    ULONGLONG firstAbove = 0;
    const ULONGLONG start = ::GetTickCount64();
    test::WaitFor(
        [&] {
            bool coverAbove = false;
            for (HWND prev = ::GetWindow(popup, GW_HWNDPREV); prev; prev = ::GetWindow(prev, GW_HWNDPREV))
                coverAbove = coverAbove || prev == coverWindow;
            const ULONGLONG now = ::GetTickCount64() - start;
            if (!coverAbove && firstAbove == 0)
                firstAbove = now;
            if (now >= 2000) {
                ++samples;
                popupAbove += coverAbove ? 0 : 1;
                popupAtPoint += ::WindowFromPoint(inside) == popup ? 1 : 0;
            }
            return false;
        },
        3000);
    printf("back above after %llu ms; of %d samples in the last second, above in %d, at the point in %d\n", firstAbove,
        samples, popupAbove, popupAtPoint);
    ASSERT_GT(samples, 10);
    EXPECT_GE(popupAbove * 4, samples * 3);
    EXPECT_GE(popupAtPoint * 4, samples * 3);
}
