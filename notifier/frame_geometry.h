// Frame geometry of a skin strip: pure arithmetic, no platform calls.
#pragma once

#include <stdint.h>

constexpr int kMaxFrames = 30;

// Strip width rounded up to a multiple of 8 pixels.
int StripStride(int stripWidth);

// Frame width after the "0 means the whole strip" rule.
int EffectiveFrameWidth(int frameWidth, int stripWidth);

// Whole frames in the strip, clamped to 0..kMaxFrames. `frameWidth` must
// already be non-zero (EffectiveFrameWidth).
int FrameCount(int stripWidth, int frameWidth);

// Colour of pixel (x, y) of a bottom-up 24-bit DIB whose rows are `stride`
// pixels long; y = 0 is the top row. Red is in the low byte.
uint32_t PixelAt(int x, int y, const uint8_t* bits, int stride, int height);

// Red, green and blue, each cut to its low 8 bits, packed red-lowest.
uint32_t PackColour(int red, int green, int blue);
