// The notifier builds each frame's window region from one region per row,
// joined in pairs. These tests hold it against the obvious method,
// one CombineRgn merge per run, on many kinds of strips, and against the
// pixels themselves; then against the shape the running notifier really
// gives its window.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "frame_regions.h"
#include "harness.h"
#include "reference_regions.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A bottom-up 24-bit strip with rows rounded up to 8 pixels, as the notifier
// scans it. It starts all key-coloured; the padding columns hold a non-key
// colour, so that a scan reading past the strip's width would show.
class Strip {
public:
    Strip(int frameWidth, int frames, int height, COLORREF key = kMagenta, int extraColumns = 0)
        : m_frameWidth(frameWidth)
        , m_frames(frames)
        , m_width(frameWidth * frames + extraColumns)
        , m_stride((m_width + 7) / 8 * 8)
        , m_height(height)
        , m_key(key)
        , m_bits(static_cast<size_t>(m_stride) * 3 * height)
    {
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_stride; ++x)
                Set(x, y, x < m_width ? key : key ^ 0xFFFFFF);
    }

    void Set(int x, int y, COLORREF colour)
    {
        BYTE* p = &m_bits[(static_cast<size_t>(m_height - 1 - y) * m_stride + x) * 3];
        p[0] = GetBValue(colour);
        p[1] = GetGValue(colour);
        p[2] = GetRValue(colour);
    }
    // A non-key colour picked by `choice`, sometimes one unit off the key.
    void Opaque(int x, int y, unsigned choice = 0)
    {
        static const COLORREF offsets[] = { 0x000001, 0x000100, 0x010000, 0x808080, 0xFFFFFF, 0x123456 };
        Set(x, y, m_key ^ offsets[choice % 6]);
    }
    bool IsKey(int x, int y) const
    {
        const BYTE* p = &m_bits[(static_cast<size_t>(m_height - 1 - y) * m_stride + x) * 3];
        return RGB(p[2], p[1], p[0]) == m_key;
    }

    int frameWidth() const { return m_frameWidth; }
    int frames() const { return m_frames; }
    int width() const { return m_width; }
    int stride() const { return m_stride; }
    int height() const { return m_height; }
    COLORREF key() const { return m_key; }
    const BYTE* bits() const { return m_bits.data(); }

private:
    int m_frameWidth;
    int m_frames;
    int m_width;
    int m_stride;
    int m_height;
    COLORREF m_key;
    std::vector<BYTE> m_bits;
};

std::vector<RECT> RectsOf(HRGN region)
{
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    std::vector<BYTE> buffer(size);
    if (size == 0 || ::GetRegionData(region, size, reinterpret_cast<RGNDATA*>(buffer.data())) == 0)
        return {};
    const auto* data = reinterpret_cast<const RGNDATA*>(buffer.data());
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    return std::vector<RECT>(rects, rects + data->rdh.nCount);
}

std::string Format(const RECT& r)
{
    char text[64];
    snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

// Says how two regions differ: pixels that only one holds, or, when they
// cover the same pixels, where their rectangle lists part.
std::string Difference(HRGN product, HRGN merged)
{
    const std::vector<RECT> a = RectsOf(product);
    const std::vector<RECT> b = RectsOf(merged);
    std::string text
        = "product has " + std::to_string(a.size()) + " rectangles, merged has " + std::to_string(b.size()) + ". ";
    const fw::UniqueRgn onlyProduct(::CreateRectRgn(0, 0, 0, 0));
    const fw::UniqueRgn onlyMerged(::CreateRectRgn(0, 0, 0, 0));
    ::CombineRgn(onlyProduct.get(), product, merged, RGN_DIFF);
    ::CombineRgn(onlyMerged.get(), merged, product, RGN_DIFF);
    const std::vector<RECT> extra = RectsOf(onlyProduct.get());
    const std::vector<RECT> missing = RectsOf(onlyMerged.get());
    if (extra.empty() && missing.empty()) {
        size_t i = 0;
        while (i < a.size() && i < b.size() && EqualRect(&a[i], &b[i]))
            ++i;
        text += "Same pixels; the lists part at rectangle " + std::to_string(i);
        if (i < a.size())
            text += ": product " + Format(a[i]);
        if (i < b.size())
            text += ", merged " + Format(b[i]);
        return text;
    }
    for (size_t i = 0; i < extra.size() && i < 5; ++i)
        text += "only in product " + Format(extra[i]) + "; ";
    for (size_t i = 0; i < missing.size() && i < 5; ++i)
        text += "only in merged " + Format(missing[i]) + "; ";
    return text;
}

// Both methods give equal regions for every frame; on strips small enough,
// the region also holds exactly the frame's non-key pixels.
void ExpectSameRegions(const Strip& strip, const std::string& name)
{
    SCOPED_TRACE(name);
    const bool checkPixels = static_cast<long long>(strip.frameWidth()) * strip.height() <= 40000;
    for (int frame = 0; frame < strip.frames(); ++frame) {
        const fw::UniqueRgn product(
            BuildFrameRegion(strip.bits(), strip.stride(), strip.height(), frame, strip.frameWidth(), strip.key()));
        const fw::UniqueRgn merged(reference::MergedFrameRegion(
            strip.bits(), strip.stride(), strip.height(), frame, strip.frameWidth(), strip.key()));
        ASSERT_TRUE(product.valid()) << "frame " << frame << ": no region";
        ASSERT_TRUE(merged.valid());
        ASSERT_TRUE(::EqualRgn(product.get(), merged.get()))
            << "frame " << frame << ": " << Difference(product.get(), merged.get());
        if (!checkPixels)
            continue;
        const int x0 = frame * strip.frameWidth();
        for (int y = -1; y <= strip.height(); ++y) {
            for (int x = -1; x <= strip.frameWidth(); ++x) {
                const bool inside = y >= 0 && y < strip.height() && x >= 0 && x < strip.frameWidth();
                const bool opaque = inside && !strip.IsKey(x0 + x, y);
                ASSERT_EQ(::PtInRegion(product.get(), x, y) != FALSE, opaque)
                    << "frame " << frame << " pixel (" << x << "," << y << ")";
            }
        }
    }
}

Strip Noise(int frameWidth, int frames, int height, double density, unsigned seed, COLORREF key = kMagenta)
{
    Strip strip(frameWidth, frames, height, key, seed % 5);
    std::mt19937 random(seed);
    std::bernoulli_distribution opaque(density);
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if ((x > 0 || y > 0) && opaque(random))
                strip.Opaque(x, y, random());
    return strip;
}

// Blobs whose left and right edges wander from row to row, with holes.
Strip Ragged(int frameWidth, int frames, int height, unsigned seed)
{
    Strip strip(frameWidth, frames, height);
    std::mt19937 random(seed);
    for (int frame = 0; frame < frames; ++frame) {
        const int x0 = frame * frameWidth;
        int left = frameWidth / 4;
        int right = frameWidth * 3 / 4;
        for (int y = 1; y < height; ++y) {
            left = std::max(0, std::min(frameWidth - 1, left + static_cast<int>(random() % 7) - 3));
            right = std::max(left + 1, std::min(frameWidth, right + static_cast<int>(random() % 7) - 3));
            for (int x = left; x < right; ++x)
                if (random() % 13 != 0)
                    strip.Opaque(x0 + x, y, random());
        }
    }
    return strip;
}

} // namespace

TEST(RegionEquality, RandomNoiseAtSeveralDensities)
{
    const double densities[] = { 0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99 };
    unsigned seed = 1;
    for (double density : densities) {
        for (int round = 0; round < 3; ++round, ++seed) {
            const Strip strip = Noise(37 + 11 * round, 3, 41 + 7 * round, density, seed);
            ExpectSameRegions(strip, "noise " + std::to_string(density) + " seed " + std::to_string(seed));
        }
    }
    // A black key, so that the padding and the near-key colours differ from
    // it the other way round.
    ExpectSameRegions(Noise(50, 2, 50, 0.5, 99, RGB(0, 0, 0)), "noise on a black key");
}

TEST(RegionEquality, RaggedOutlines)
{
    for (unsigned seed = 1; seed <= 6; ++seed)
        ExpectSameRegions(Ragged(60 + 10 * seed, 4, 90, seed), "ragged seed " + std::to_string(seed));
}

TEST(RegionEquality, SinglePixelsFullRowsAndEmptyFrames)
{
    Strip pixels(20, 3, 15);
    for (int frame = 0; frame < 3; ++frame) {
        const int x0 = frame * 20;
        const int points[][2] = { { 19, 0 }, { 0, 14 }, { 19, 14 }, { 7, 7 }, { 9, 7 }, { 8, 8 } };
        for (const auto& p : points)
            pixels.Opaque(x0 + p[0], p[1], frame);
        if (frame > 0)
            pixels.Opaque(x0, 0, frame); // frame 0's top-left is the key itself
    }
    ExpectSameRegions(pixels, "single pixels");

    Strip rows(25, 2, 12);
    for (int x = 0; x < rows.width(); ++x) {
        for (int y : { 1, 2, 5, 11 })
            rows.Opaque(x, y, y);
    }
    for (int y = 0; y < rows.height(); ++y)
        for (int x = 25; x < 50; ++x)
            rows.Opaque(x, y, x);
    ExpectSameRegions(rows, "full rows and a full frame");

    const Strip blank(30, 4, 20);
    ExpectSameRegions(blank, "all key");
    for (int frame = 0; frame < blank.frames(); ++frame) {
        const fw::UniqueRgn region(BuildFrameRegion(blank.bits(), blank.stride(), blank.height(), frame, 30, kMagenta));
        RECT box;
        EXPECT_EQ(::GetRgnBox(region.get(), &box), NULLREGION) << "frame " << frame;
    }
}

TEST(RegionEquality, RunsTouchingTheRightEdgeStopThere)
{
    // Every row of every frame is opaque up to and including the last column,
    // and so is the first column of the next frame: runs must be cut.
    Strip strip(16, 4, 24, kMagenta, 3);
    for (int frame = 0; frame < 4; ++frame) {
        for (int y = 0; y < 24; ++y) {
            for (int x = 16 - 1 - y % 9; x < 16; ++x)
                strip.Opaque(frame * 16 + x, y, x + y);
            if (frame < 3 || y % 2 == 0)
                strip.Opaque(frame * 16 + 16, y, y);
        }
    }
    ExpectSameRegions(strip, "right edge");
    const fw::UniqueRgn region(BuildFrameRegion(strip.bits(), strip.stride(), strip.height(), 1, 16, kMagenta));
    RECT box;
    ::GetRgnBox(region.get(), &box);
    EXPECT_EQ(box.right, 16);
}

TEST(RegionEquality, TallAndWideImagesAndManyFrames)
{
    ExpectSameRegions(Noise(3, 2, 700, 0.5, 21), "tall and narrow");
    ExpectSameRegions(Ragged(9, 5, 600, 22), "tall ragged");
    ExpectSameRegions(Noise(900, 2, 3, 0.5, 23), "wide and flat");
    ExpectSameRegions(Noise(700, 1, 1, 0.3, 24), "one row");
    ExpectSameRegions(Noise(12, 30, 20, 0.4, 25), "thirty frames");
    ExpectSameRegions(Ragged(200, 3, 200, 26), "large ragged");
    ExpectSameRegions(Noise(200, 2, 200, 0.5, 27), "large noise");
}

TEST(RegionEquality, FrameWidthsOneToNine)
{
    for (int width = 1; width <= 9; ++width) {
        for (int frames : { 1, 3, 8 }) {
            for (double density : { 0.2, 0.5, 0.9 }) {
                const unsigned seed
                    = static_cast<unsigned>(width * 100 + frames * 10) + static_cast<unsigned>(density * 10);
                ExpectSameRegions(Noise(width, frames, 9, density, seed),
                    "width " + std::to_string(width) + " frames " + std::to_string(frames) + " density "
                        + std::to_string(density));
            }
        }
    }
}

TEST(RegionEquality, BundledSkinFrames)
{
    reference::ScanCopy skin;
    ASSERT_TRUE(reference::LoadScanCopy(test::ProgramDir() + "\\larkbell.bmp", &skin));
    ASSERT_EQ(skin.width, 12 * 120);
    for (int frame = 0; frame < 12; ++frame) {
        const fw::UniqueRgn product(BuildFrameRegion(skin.bits.data(), skin.stride, skin.height, frame, 120, skin.key));
        const fw::UniqueRgn merged(
            reference::MergedFrameRegion(skin.bits.data(), skin.stride, skin.height, frame, 120, skin.key));
        RECT box;
        EXPECT_EQ(::GetRgnBox(product.get(), &box), COMPLEXREGION) << "frame " << frame;
        EXPECT_TRUE(::EqualRgn(product.get(), merged.get()))
            << "frame " << frame << ": " << Difference(product.get(), merged.get());
    }
}

// The running notifier's window takes, tick after tick, exactly the shape
// that merging the bundled skin's runs one by one gives each frame.
TEST(RegionEquality, RunningNotifierTakesEveryFrameShape)
{
    test::EndStrayNotifiers();
    reference::ScanCopy skin;
    ASSERT_TRUE(reference::LoadScanCopy(test::ProgramDir() + "\\larkbell.bmp", &skin));
    std::vector<fw::UniqueRgn> frames;
    for (int frame = 0; frame < 12; ++frame)
        frames.emplace_back(
            reference::MergedFrameRegion(skin.bits.data(), skin.stride, skin.height, frame, 120, skin.key));

    // Frames may share a shape; each shape is known by its first frame.
    std::set<int> shapes;
    for (int frame = 0; frame < 12; ++frame) {
        int first = 0;
        while (!::EqualRgn(frames[first].get(), frames[frame].get()))
            ++first;
        shapes.insert(first);
    }

    test::Sandbox box;
    test::Process notifier = test::Process::Start("\"" + box.exe() + "\"");
    const HWND dialog = test::WaitForDialogOf(notifier.id(), 30000);
    ASSERT_NE(dialog, nullptr);

    const fw::UniqueRgn shape(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_TRUE(test::WaitFor([&] { return ::GetWindowRgn(dialog, shape.get()) != ERROR; }, 10000));
    std::set<int> seen;
    int samples = 0;
    test::WaitFor(
        [&] {
            if (::GetWindowRgn(dialog, shape.get()) == ERROR)
                return false;
            ++samples;
            int match = -1;
            for (int frame = 0; frame < 12 && match < 0; ++frame)
                if (::EqualRgn(shape.get(), frames[frame].get()))
                    match = frame;
            EXPECT_GE(match, 0) << "window shape matches no frame: " << Difference(shape.get(), frames[0].get());
            if (match >= 0)
                seen.insert(match);
            return seen == shapes || match < 0;
        },
        30000);
    EXPECT_EQ(seen, shapes) << "after " << samples << " samples";
    notifier.Kill();
    test::EndStrayNotifiers();
}
