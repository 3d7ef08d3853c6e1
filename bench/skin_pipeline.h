// The notifier's skin build, call for call, with each step timed: load the
// strip file, make the painting copy, make the 24-bit scan copy, build one
// region per frame.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32/handles.h"

namespace bench {

enum class RegionMethod {
    Product, // BuildFrameRegion: one region per row, joined in pairs level by level
    MergePerRun, // copy into a scratch region and OR in each run's rectangle
    OneExtCreateRegion, // not used by the product: one ExtCreateRegion of every run
};
const char* MethodName(RegionMethod method);

struct SkinBuildTimes {
    double loadMs = 0; // LoadImageA and GetObjectA
    double copyMs = 0; // memory DC, strip bitmap, BitBlt of the painting copy
    double scanMs = 0; // scan DC, DIB section, BitBlt of the scan copy
    std::vector<double> frameMs; // each frame's region
    double totalMs = 0; // all of it, clean-up included
};

// What the notifier keeps for the popup's life.
struct Skin {
    win32::UniqueBitmap stripBitmap;
    win32::UniqueMemoryDC memDC; // holds stripBitmap; deleted first
    std::vector<win32::UniqueRgn> frameRgn;
    int frameWidth = 0;
    int height = 0;
    int frameCount = 0;
};

// Builds the skin in `path` with frames `frameWidth` wide. Only the first
// `frameLimit` frames get a region (every frame when it is negative).
bool BuildSkin(
    const std::string& path, int frameWidth, RegionMethod method, int frameLimit, Skin* skin, SkinBuildTimes* times);

} // namespace bench
