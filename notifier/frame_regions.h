// Window regions of skin frames, from a 24-bit scan copy of the strip.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "notifier/run_scan.h"

// The union of `count` runs, in frame coordinates, each pixel a `scale` x
// `scale` square. The runs must be sorted by row, then column, and must not
// overlap. The caller owns the region.
HRGN RegionFromRuns(const PixelRun* runs, size_t count, int scale = 1);

// The union of a frame's runs (as RegionFromRuns), joined row by row.
HRGN RegionOfRuns(const std::vector<PixelRun>& runs, int scale);

// The region of frame `frame` of a bottom-up 24-bit image whose rows are
// `stride` pixels long: every pixel that differs from `key`.
HRGN BuildFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key);
