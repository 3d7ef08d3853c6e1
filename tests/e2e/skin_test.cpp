// The skin strip as the running popup shows it: the window's region, read
// back from the real window, against frame regions worked out here from the
// same file; the frame geometry; and the messages of a skin that cannot be
// used.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "popup.h"
#include "titled_windows_client.h"

namespace {

constexpr COLORREF kBody = RGB(0, 64, 128);
constexpr COLORREF kEdge = RGB(248, 200, 16);
const char kLoadFailed[] = "受信アニメBmpのロードに失敗しました";
const char kDataError[] = "BMPデータエラーが発生しました";

// Frame `i` of a strip: a body that grows with i, a key-coloured hole, a
// second block on its own to the right (two runs on a row), and a bar on the
// frame's right edge. No two frames have the same shape.
void DrawFrame(test::Picture* strip, int i, int frameWidth, COLORREF body = kBody, COLORREF edge = kEdge)
{
    const int x0 = i * frameWidth;
    strip->Fill(x0 + 2, 3, x0 + 14 + i, 12 + i, body);
    strip->Fill(x0 + 5, 5, x0 + 8, 8, strip->at(0, 0));
    strip->Fill(x0 + 20 + i % 4, 20, x0 + 26 + i % 4, 24 + i % 3, edge);
    strip->Fill(x0 + frameWidth - 2, 30, x0 + frameWidth, 40, body);
}

test::Picture ShapesStrip(int frames, int frameWidth, int height, int extraColumns = 0)
{
    test::Picture strip(frames * frameWidth + extraColumns, height, test::kKey);
    for (int i = 0; i < frames; ++i)
        DrawFrame(&strip, i, frameWidth);
    return strip;
}

std::string Settings(int bmpWidth, int interval)
{
    return "bmpwidth=" + std::to_string(bmpWidth) + "\r\ninterval=" + std::to_string(interval)
        + "\r\nposx=100\r\nposy=100\r\n";
}

std::string Sequence(const std::vector<int>& frames)
{
    std::string text;
    for (int frame : frames)
        text += std::to_string(frame) + " ";
    return text;
}

// Answers every message box of the process until it ends; the texts of the
// boxes, in order.
std::vector<std::string> AnswerMessageBoxesUntilExit(const test::Process& process)
{
    std::vector<std::string> texts;
    HWND last = nullptr;
    test::WaitFor(
        [&] {
            std::string text;
            const HWND box = test::FindMessageBoxOf(process.id(), &text);
            if (box && box != last) {
                texts.push_back(text);
                last = box;
            }
            if (box)
                test::PressOnlyButton(box);
            return !process.Running();
        },
        20000);
    return texts;
}

class Skin : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }

    // Starts `notifier` and follows its frames for `changes` changes or
    // `ms`; the frames seen, starting with the one at start-up.
    static std::vector<int> StartAndWatch(
        test::Notifier* notifier, const std::vector<fw::UniqueRgn>& frames, size_t changes, DWORD ms = 10000)
    {
        const HWND popup = notifier->Start();
        if (!popup)
            return {};
        return test::WatchFrames(
            popup, frames, ms, [&](const std::vector<int>& seen) { return seen.size() > changes; });
    }
};

} // namespace

TEST_F(Skin, WindowTakesTheShapeOfEachFrameInTurn)
{
    test::Notifier notifier;
    notifier.SetSkin(ShapesStrip(3, 60, 50));
    notifier.SetSettings(Settings(60, 300));
    // Worked out from the file as the system loads it, not from the picture.
    const test::Picture loaded = test::LoadStrip(notifier.box().sibling("bmp"));
    ASSERT_EQ(loaded.width(), 180);
    const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(loaded, 60, 3);

    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);
    const fw::UniqueRgn atStart = test::WindowRegion(popup);
    EXPECT_TRUE(atStart && ::EqualRgn(atStart.get(), frames[0].get())) << test::DescribeRegion(atStart.get());
    const std::vector<int> seen
        = test::WatchFrames(popup, frames, 10000, [](const std::vector<int>& s) { return s.size() >= 7; });
    EXPECT_EQ(seen, (std::vector<int> { 0, 1, 2, 0, 1, 2, 0 })) << Sequence(seen);
}

TEST_F(Skin, EveryBitmapFormatGivesTheSameShapes)
{
    // Two colours, so that every format holds the picture; the second frame
    // differs from the first.
    test::Picture strip(120, 50, test::kKey);
    DrawFrame(&strip, 0, 60, kBody, kBody);
    DrawFrame(&strip, 1, 60, kBody, kBody);
    const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 60, 2);

    const test::BmpFormat formats[]
        = { test::BmpFormat::Bits1, test::BmpFormat::Bits4, test::BmpFormat::Bits8, test::BmpFormat::Bits16,
              test::BmpFormat::Bits24, test::BmpFormat::Bits32, test::BmpFormat::Rle4, test::BmpFormat::Rle8 };
    for (test::BmpFormat format : formats) {
        SCOPED_TRACE(test::FormatName(format));
        test::Notifier notifier;
        notifier.SetSkin(strip, format);
        notifier.SetSettings(Settings(60, 200));
        const std::vector<int> seen = StartAndWatch(&notifier, frames, 2);
        EXPECT_EQ(seen, (std::vector<int> { 0, 1, 0 })) << Sequence(seen);
        test::EndStrayNotifiers();
    }

    // Black and white loads as a monochrome bitmap; white is the key here.
    test::Picture mono(120, 50, RGB(255, 255, 255));
    DrawFrame(&mono, 0, 60, RGB(0, 0, 0), RGB(0, 0, 0));
    DrawFrame(&mono, 1, 60, RGB(0, 0, 0), RGB(0, 0, 0));
    const std::vector<fw::UniqueRgn> monoFrames = test::ExpectedFrameRegions(mono, 60, 2);
    test::Notifier notifier;
    notifier.SetSkin(mono, test::BmpFormat::Bits1);
    notifier.SetSettings(Settings(60, 200));
    const std::vector<int> seen = StartAndWatch(&notifier, monoFrames, 2);
    EXPECT_EQ(seen, (std::vector<int> { 0, 1, 0 })) << "black and white: " << Sequence(seen);
}

TEST_F(Skin, FramesAreWholeFramesOfTheSetWidth)
{
    {
        SCOPED_TRACE("250 wide, 120 a frame: the last 10 columns are no frame");
        test::Notifier notifier;
        test::Picture strip = ShapesStrip(2, 120, 50, 10);
        strip.Fill(240, 0, 250, 50, kBody);
        notifier.SetSkin(strip);
        notifier.SetSettings(Settings(120, 150));
        const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 120, 2);
        const std::vector<int> seen = StartAndWatch(&notifier, frames, 4);
        EXPECT_EQ(seen, (std::vector<int> { 0, 1, 0, 1, 0 })) << Sequence(seen);
    }
    test::EndStrayNotifiers();
    {
        SCOPED_TRACE("width 0: one frame as wide as the strip, never changing");
        test::Notifier notifier;
        test::Picture strip = ShapesStrip(2, 120, 50, 10);
        strip.Fill(240, 0, 250, 50, kBody);
        notifier.SetSkin(strip);
        notifier.SetSettings(Settings(0, 100));
        const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 250, 1);
        const std::vector<int> seen = StartAndWatch(&notifier, frames, 1, 1500);
        EXPECT_EQ(seen, (std::vector<int> { 0 })) << Sequence(seen);
    }
}

TEST_F(Skin, OnlyTheFirstThirtyFramesAreShown)
{
    test::Notifier notifier;
    const test::Picture strip = ShapesStrip(35, 60, 50);
    notifier.SetSkin(strip);
    notifier.SetSettings(Settings(60, 100));
    // All 35, so that a 31st shape would be recognised too.
    const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 60, 35);

    // Until every one of the first 30 has shown and the cycle has begun again.
    const auto wrapped = [](const std::vector<int>& s) {
        for (size_t i = 1; i < s.size(); ++i) {
            if (s[i] < s[i - 1])
                return true;
        }
        return false;
    };
    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);
    const std::vector<int> cycle = test::WatchFrames(popup, frames, 20000,
        [&](const std::vector<int>& s) { return std::set<int>(s.begin(), s.end()).size() >= 30 && wrapped(s); });
    const std::set<int> shown(cycle.begin(), cycle.end());
    EXPECT_EQ(shown.size(), 30u) << Sequence(cycle);
    EXPECT_EQ(*shown.begin(), 0) << Sequence(cycle);
    EXPECT_EQ(*shown.rbegin(), 29) << Sequence(cycle);
    EXPECT_TRUE(wrapped(cycle)) << Sequence(cycle);
}

TEST_F(Skin, KeyColourOnlyIsCutAwayAndRunsEndAtTheFrameEdge)
{
    constexpr int kWidth = 60;
    test::Picture strip(3 * kWidth, 50, test::kKey);
    // Frame 0: the usual shape, whose bar reaches the right edge, and three
    // pixels one unit off the key.
    DrawFrame(&strip, 0, kWidth);
    const POINT nearKey[] = { { 30, 45 }, { 33, 45 }, { 36, 45 } };
    strip.set(nearKey[0].x, nearKey[0].y, RGB(254, 0, 255));
    strip.set(nearKey[1].x, nearKey[1].y, RGB(255, 1, 255));
    strip.set(nearKey[2].x, nearKey[2].y, RGB(255, 0, 254));
    // Frame 1: a bar on its left edge, touching frame 0's bar, and the key
    // colour inside a block.
    strip.Fill(kWidth, 30, kWidth + 2, 40, kBody);
    strip.Fill(kWidth + 10, 10, kWidth + 40, 20, kEdge);
    strip.Fill(kWidth + 20, 12, kWidth + 30, 18, test::kKey);
    // Frame 2: nothing but the key colour.

    test::Notifier notifier;
    notifier.SetSkin(strip);
    notifier.SetSettings(Settings(kWidth, 300));
    const std::vector<fw::UniqueRgn> frames
        = test::ExpectedFrameRegions(test::LoadStrip(notifier.box().sibling("bmp")), kWidth, 3);
    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);

    // The window's own region while each frame is on show.
    std::vector<fw::UniqueRgn> shapes(3);
    std::vector<int> seen;
    test::WaitFor([&] {
        fw::UniqueRgn shape = test::WindowRegion(popup);
        const int frame = test::MatchingFrame(shape.get(), frames);
        if (seen.empty() || seen.back() != frame)
            seen.push_back(frame);
        if (frame >= 0 && !shapes[frame])
            shapes[frame] = std::move(shape);
        return seen.size() >= 4;
    });
    ASSERT_EQ(seen, (std::vector<int> { 0, 1, 2, 0 })) << Sequence(seen);
    for (const POINT& p : nearKey)
        EXPECT_TRUE(::PtInRegion(shapes[0].get(), p.x, p.y)) << p.x << "," << p.y;
    RECT box;
    ASSERT_EQ(::GetRgnBox(shapes[0].get(), &box), COMPLEXREGION);
    EXPECT_EQ(box.right, kWidth);
    EXPECT_TRUE(::PtInRegion(shapes[1].get(), 0, 35));
    EXPECT_FALSE(::PtInRegion(shapes[1].get(), 25, 15));
    EXPECT_TRUE(::PtInRegion(shapes[1].get(), 15, 15));
    EXPECT_EQ(::GetRgnBox(shapes[2].get(), &box), NULLREGION) << test::DescribeRegion(shapes[2].get());
}

// A skin that fails shows its message once and the process ends. Whether
// the settings were read shows on the way out: with "activate" set, the
// close brings forward every window whose title holds "windowname", so a
// minimised window named so stays minimised only when the settings were
// never read. A zero-frame skin, found only after the settings are read,
// restores it through the same close path.
TEST_F(Skin, UnloadableStripShowsLoadMessageOnceAndReadsNoSettings)
{
    const std::string marker = "lbt-skin-marker-" + std::to_string(::GetCurrentProcessId());
    test::TitledWindows windows({ { "minimised", marker } });
    ASSERT_TRUE(windows.ready());
    const std::string ini = "activate=1\r\nwindowname=" + marker + "\r\nbmpwidth=500\r\n";

    struct Case {
        const char* what;
        void (*prepare)(test::Notifier* notifier);
        const char* message;
        bool settingsRead;
    };
    const Case cases[] = {
        { "missing strip", [](test::Notifier*) {}, kLoadFailed, false },
        { "not a bitmap",
            [](test::Notifier* n) { n->box().WriteFile("larkbell.bmp", "this is not a bitmap file\r\n"); }, kLoadFailed,
            false },
        { "no whole frame", [](test::Notifier* n) { n->SetSkin(ShapesStrip(2, 125, 50)); }, kDataError, true },
    };
    int restoresBefore = windows.Settled().at(0).restores;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::Notifier notifier;
        c.prepare(&notifier);
        notifier.SetSettings(ini);
        const std::string iniBefore = notifier.box().ReadFile("larkbell.ini");
        notifier.Launch();

        const std::vector<std::string> texts = AnswerMessageBoxesUntilExit(notifier.process());
        EXPECT_EQ(texts, (std::vector<std::string> { c.message }));
        EXPECT_FALSE(notifier.process().Running());
        EXPECT_EQ(notifier.box().ReadFile("larkbell.ini"), iniBefore);

        const std::vector<test::WindowRecord> records = windows.Settled();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].restores > restoresBefore, c.settingsRead) << records[0].state;
        restoresBefore = records[0].restores;
    }
}

TEST_F(Skin, SkinWithoutAWholeFrameShowsDataErrorAndEnds)
{
    const char* const widths[] = { "500", "-5" };
    for (const char* width : widths) {
        SCOPED_TRACE(std::string("bmpwidth ") + width);
        test::Notifier notifier;
        notifier.SetSkin(ShapesStrip(2, 125, 50));
        notifier.SetSettings(std::string("bmpwidth=") + width + "\r\n");
        notifier.Launch();
        const std::vector<std::string> texts = AnswerMessageBoxesUntilExit(notifier.process());
        EXPECT_EQ(texts, (std::vector<std::string> { kDataError }));
        EXPECT_FALSE(notifier.process().Running());
    }
}
