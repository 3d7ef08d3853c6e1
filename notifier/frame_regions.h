// Window regions of skin frames, from a 24-bit scan copy of the strip.
#pragma once

#include <windows.h>

#include <vector>

#include "run_scan.h"

// The union of one frame's runs, in frame coordinates. The caller owns it.
HRGN RegionFromRuns(const std::vector<PixelRun>& runs);

// The region of frame `frame` of a bottom-up 24-bit image whose rows are
// `stride` pixels long: every pixel that differs from `key`.
HRGN BuildFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key);
