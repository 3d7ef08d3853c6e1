// Frame regions built the slow, obvious way: one CombineRgn merge per run of
// non-key pixels. The product builds the same regions row by row and joins
// the rows in pairs; tests and benchmarks hold the two against each other.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace reference {

// Region of frame `frame` of a bottom-up 24-bit image whose rows are
// `stride` pixels long: for every row, every run of pixels that differ from
// `key`, cut at the frame's right edge, is merged in on its own (copy the
// region into a scratch region, then OR the 1-pixel-high rectangle into it).
// In frame coordinates; the caller owns it.
HRGN MergedFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key);

// A skin file's 24-bit scan copy, made as the notifier makes it: LoadImageA
// from the file, then BitBlt into a bottom-up DIB section whose rows are the
// width rounded up to 8 pixels.
struct ScanCopy {
    std::vector<BYTE> bits;
    int width = 0;
    int stride = 0;
    int height = 0;
    COLORREF key = 0; // the top-left pixel
};
bool LoadScanCopy(const std::string& path, ScanCopy* copy);

} // namespace reference
