#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_scan.h"

namespace {

// Builds a bottom-up 24-bit image from rows of characters drawn top first:
// '.' is the key colour (0x102030), '#' is black, '+' is one unit off the key.
struct Picture {
    std::vector<uint8_t> bits;
    int stride = 0;
    int height = 0;
};

constexpr uint32_t kKey = 0x102030;

Picture Draw(const std::vector<std::string>& rows)
{
    Picture picture;
    picture.height = static_cast<int>(rows.size());
    picture.stride = (static_cast<int>(rows[0].size()) + 7) / 8 * 8;
    picture.bits.assign(static_cast<size_t>(picture.stride) * picture.height * 3, 0x55);
    for (int y = 0; y < picture.height; ++y) {
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const uint32_t colour = rows[y][x] == '.' ? kKey : rows[y][x] == '+' ? kKey + 1 : 0;
            uint8_t* pixel = &picture.bits[((picture.height - 1 - y) * picture.stride + x) * 3];
            pixel[0] = static_cast<uint8_t>(colour >> 16);
            pixel[1] = static_cast<uint8_t>(colour >> 8);
            pixel[2] = static_cast<uint8_t>(colour);
        }
    }
    return picture;
}

std::vector<PixelRun> Scan(const Picture& picture, int frame, int frameWidth)
{
    std::vector<PixelRun> runs;
    ScanFrameRuns(picture.bits.data(), picture.stride, picture.height, frame, frameWidth, kKey, &runs);
    return runs;
}

} // namespace

TEST(ScanFrameRuns, FindsRunsRowByRowInFrameCoordinates)
{
    const Picture picture = Draw({
        "..##.#", //
        "######", //
        "......", //
    });
    const std::vector<PixelRun> expected = { { 2, 0, 4 }, { 5, 0, 6 }, { 0, 1, 6 } };
    EXPECT_EQ(Scan(picture, 0, 6), expected);
}

TEST(ScanFrameRuns, RunStopsAtFrameEdgeAndFramesAreRelative)
{
    const Picture picture = Draw({
        "..####..", //
        "...#+...", //
    });
    // Frame 0 is columns 0-3, frame 1 columns 4-7; the run across the edge splits.
    EXPECT_EQ(Scan(picture, 0, 4), (std::vector<PixelRun> { { 2, 0, 4 }, { 3, 1, 4 } }));
    EXPECT_EQ(Scan(picture, 1, 4), (std::vector<PixelRun> { { 0, 0, 2 }, { 0, 1, 1 } }));
}

TEST(ScanFrameRuns, AllKeyFrameHasNoRunsAndOffByOneIsOpaque)
{
    const Picture picture = Draw({
        "...+", //
        "....", //
    });
    EXPECT_TRUE(Scan(picture, 0, 2).empty());
    EXPECT_EQ(Scan(picture, 1, 2), (std::vector<PixelRun> { { 1, 0, 2 } }));
}

TEST(ScanFrameRuns, PaddingBeyondTheFrameIsNeverRead)
{
    // Width 3 in a stride of 8: the padding bytes (0x55) differ from the key but
    // lie outside every frame.
    const Picture picture = Draw({ "..." });
    EXPECT_TRUE(Scan(picture, 0, 3).empty());
}
