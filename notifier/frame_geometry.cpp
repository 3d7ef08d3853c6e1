#include "notifier/frame_geometry.h"

#include <stddef.h>

int StripStride(int stripWidth) { return stripWidth + ((8 - stripWidth % 8) % 8); }

int EffectiveFrameWidth(int frameWidth, int stripWidth) { return frameWidth == 0 ? stripWidth : frameWidth; }

int FrameCount(int stripWidth, int frameWidth)
{
    const int count = stripWidth / frameWidth;
    if (count >= kMaxFrames)
        return kMaxFrames;
    return count < 0 ? 0 : count;
}

uint32_t PixelAt(int x, int y, const uint8_t* bits, int stride, int height)
{
    const size_t offset
        = (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride) + static_cast<size_t>(x)) * 3;
    const uint8_t* pixel = bits + offset;
    return static_cast<uint32_t>(pixel[0]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[2];
}

uint32_t PackColour(int red, int green, int blue)
{
    return (static_cast<uint32_t>(red) & 0xFF) | (static_cast<uint32_t>(green) & 0xFF) << 8
        | (static_cast<uint32_t>(blue) & 0xFF) << 16;
}
