// Finds the runs of non-key pixels that make up a frame's shape.
#pragma once

#include <stdint.h>

#include <vector>

// One pixel high: columns [left, right) of row `top`, in frame coordinates.
struct PixelRun {
    int left;
    int top;
    int right;
};

inline bool operator==(const PixelRun& a, const PixelRun& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right;
}

// Scans frame `frame` (columns frame * frameWidth up to the next frame) of a
// bottom-up 24-bit image, row by row from the top, and appends every run of
// pixels whose colour differs from `key`. A run stops at the frame's right
// edge. `stride` is the row length in pixels.
void ScanFrameRuns(
    const uint8_t* bits, int stride, int height, int frame, int frameWidth, uint32_t key, std::vector<PixelRun>* runs);
