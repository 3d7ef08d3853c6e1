#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notifier/run_scan.h"

namespace {

constexpr uint32_t kKey = 0x102030;

// Runs of a frame of a picture drawn top row first: '.' the key colour, '#'
// black, '+' one unit off the key. Rows are bottom-up, 24-bit, padded to
// eight pixels with a non-key colour that lies outside every frame.
std::vector<PixelRun> Scan(const std::vector<std::string>& rows, int frame, int frameWidth)
{
    const int height = static_cast<int>(rows.size());
    const int stride = (static_cast<int>(rows[0].size()) + 7) / 8 * 8;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * height * 3, 0x55);
    for (int y = 0; y < height; ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const uint32_t colour = rows[y][x] == '.' ? kKey : rows[y][x] == '+' ? kKey + 1 : 0;
            uint8_t* pixel = &bits[((height - 1 - y) * stride + x) * 3];
            pixel[0] = static_cast<uint8_t>(colour >> 16);
            pixel[1] = static_cast<uint8_t>(colour >> 8);
            pixel[2] = static_cast<uint8_t>(colour);
        }
    std::vector<PixelRun> runs;
    ScanFrameRuns(bits.data(), stride, height, frame, frameWidth, kKey, &runs);
    return runs;
}

} // namespace

TEST(ScanFrameRuns, RunsRowByRowInFrameCoordinatesCutAtFrameEdges)
{
    const std::tuple<std::vector<std::string>, int, int, std::vector<PixelRun>> cases[] = {
        { { "..##.#", "######", "......" }, 0, 6, { { 2, 0, 4 }, { 5, 0, 6 }, { 0, 1, 6 } } },
        { { "..####..", "...#+..." }, 0, 4, { { 2, 0, 4 }, { 3, 1, 4 } } },
        { { "..####..", "...#+..." }, 1, 4, { { 0, 0, 2 }, { 0, 1, 1 } } }, { { "...+", "...." }, 0, 2, {} },
        { { "...+", "...." }, 1, 2, { { 1, 0, 2 } } },
        { { "..." }, 0, 3, {} }, // the padding beyond the strip is never read
    };
    for (const auto& [rows, frame, frameWidth, runs] : cases)
        EXPECT_EQ(Scan(rows, frame, frameWidth), runs) << rows[0] << " frame " << frame;
}
