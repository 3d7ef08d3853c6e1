#include "frame_regions.h"

HRGN RegionFromRuns(const std::vector<PixelRun>& runs)
{
    // The runs arrive sorted by row, then column, and never overlap, so one
    // ExtCreateRegion gives the region that merging them one at a time would,
    // without copying the growing region once per run.
    const size_t count = runs.size();
    std::vector<BYTE> buffer(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(count);
    data->rdh.nRgnSize = static_cast<DWORD>(count * sizeof(RECT));
    RECT bounds = { 0, 0, 0, 0 };
    auto* rects = reinterpret_cast<RECT*>(data->Buffer);
    for (size_t i = 0; i < count; ++i) {
        rects[i] = RECT { runs[i].left, runs[i].top, runs[i].right, runs[i].top + 1 };
        ::UnionRect(&bounds, &bounds, &rects[i]);
    }
    data->rdh.rcBound = bounds;
    return ::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
}

HRGN BuildFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key)
{
    std::vector<PixelRun> runs;
    ScanFrameRuns(bits, stride, height, frame, frameWidth, key, &runs);
    return RegionFromRuns(runs);
}
