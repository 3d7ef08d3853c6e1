#include <gtest/gtest.h>

#include <vector>

#include "notifier/frame_geometry.h"

TEST(FrameGeometry, StridesFrameCountsAndWidths)
{
    const int strides[][2] = { { 1, 8 }, { 7, 8 }, { 8, 8 }, { 9, 16 }, { 250, 256 }, { 1440, 1440 } };
    for (const auto& c : strides)
        EXPECT_EQ(StripStride(c[0]), c[1]) << c[0];
    // Whole frames only, at most 30 (a 31st is dropped); no frame of a negative width.
    const int counts[][3] = { { 250, 120, 2 }, { 240, 120, 2 }, { 119, 120, 0 }, { 120, 4, 30 }, { 124, 4, 30 },
        { 180, 4, 30 }, { 250, -120, 0 } };
    for (const auto& c : counts)
        EXPECT_EQ(FrameCount(c[0], c[1]), c[2]) << c[0] << " / " << c[1];
    EXPECT_EQ(EffectiveFrameWidth(0, 250), 250);
    EXPECT_EQ(EffectiveFrameWidth(-3, 250), -3);
}

TEST(FrameGeometry, PixelsAreBottomUpBgrAndColoursKeepTheirLowBits)
{
    const std::vector<uint8_t> bits = { 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16 };
    EXPECT_EQ(PixelAt(0, 0, bits.data(), 2, 2), 0x111213u);
    EXPECT_EQ(PixelAt(1, 0, bits.data(), 2, 2), 0x141516u);
    EXPECT_EQ(PixelAt(0, 1, bits.data(), 2, 2), 0x010203u);
    EXPECT_EQ(PixelAt(1, 1, bits.data(), 2, 2), 0x040506u);
    EXPECT_EQ(PackColour(208, 199, 187), 0x00BBC7D0u);
    EXPECT_EQ(PackColour(300, 0, 0), 44u);
    EXPECT_EQ(PackColour(-1, 0, 0), 255u);
    EXPECT_EQ(PackColour(0, -1, 511), 0x00FFFF00u);
}
