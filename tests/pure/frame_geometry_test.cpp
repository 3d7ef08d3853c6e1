#include <gtest/gtest.h>

#include <vector>

#include "frame_geometry.h"

TEST(FrameGeometry, StrideRoundsUpToEight)
{
    for (int width = 1; width <= 7; ++width)
        EXPECT_EQ(StripStride(width), 8) << width;
    EXPECT_EQ(StripStride(8), 8);
    EXPECT_EQ(StripStride(9), 16);
    EXPECT_EQ(StripStride(250), 256);
    EXPECT_EQ(StripStride(1440), 1440);
}

TEST(FrameGeometry, FrameCountTruncatesAndClamps)
{
    EXPECT_EQ(FrameCount(250, 120), 2);
    EXPECT_EQ(FrameCount(240, 120), 2);
    EXPECT_EQ(FrameCount(119, 120), 0);
    EXPECT_EQ(FrameCount(30 * 4, 4), 30);
    EXPECT_EQ(FrameCount(45 * 4, 4), 30);
    EXPECT_EQ(FrameCount(250, -120), 0);
    EXPECT_EQ(FrameCount(250, EffectiveFrameWidth(0, 250)), 1);
    EXPECT_EQ(EffectiveFrameWidth(0, 250), 250);
    EXPECT_EQ(EffectiveFrameWidth(-3, 250), -3);
}

TEST(FrameGeometry, PixelAtReadsBottomUpRowsAsColorref)
{
    // 2 x 2 pixels, stride 2: bottom row first, bytes blue, green, red.
    const std::vector<uint8_t> bits = {
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, // bottom row: (0,1), (1,1)
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, // top row: (0,0), (1,0)
    };
    EXPECT_EQ(PixelAt(0, 0, bits.data(), 2, 2), 0x111213u);
    EXPECT_EQ(PixelAt(1, 0, bits.data(), 2, 2), 0x141516u);
    EXPECT_EQ(PixelAt(0, 1, bits.data(), 2, 2), 0x010203u);
    EXPECT_EQ(PixelAt(1, 1, bits.data(), 2, 2), 0x040506u);
}

TEST(PackColour, KeepsLowEightBitsRedLowest)
{
    EXPECT_EQ(PackColour(208, 199, 187), 0x00BBC7D0u);
    EXPECT_EQ(PackColour(256, 0, 0), 0u);
    EXPECT_EQ(PackColour(300, 0, 0), 44u);
    EXPECT_EQ(PackColour(-1, 0, 0), 255u);
    EXPECT_EQ(PackColour(0, -1, 511), 0x00FFFF00u);
}
