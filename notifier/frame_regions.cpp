#include "notifier/frame_regions.h"

#include <utility>
#include <vector>

#include "win32/handles.h"

HRGN RegionFromRuns(const PixelRun* runs, size_t count, int scale)
{
    std::vector<BYTE> buffer(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(count);
    data->rdh.nRgnSize = static_cast<DWORD>(count * sizeof(RECT));
    RECT bounds = { 0, 0, 0, 0 };
    auto* rects = reinterpret_cast<RECT*>(data->Buffer);
    for (size_t i = 0; i < count; ++i) {
        const PixelRun& run = runs[i];
        rects[i] = RECT { run.left * scale, run.top * scale, run.right * scale, (run.top + 1) * scale };
        ::UnionRect(&bounds, &bounds, &rects[i]);
    }
    data->rdh.rcBound = bounds;
    return ::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
}

HRGN BuildFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key)
{
    std::vector<PixelRun> runs;
    ScanFrameRuns(bits, stride, height, frame, frameWidth, key, &runs);
    return RegionOfRuns(runs, 1);
}

HRGN RegionOfRuns(const std::vector<PixelRun>& runs, int scale)
{
    // Merging run by run copies the growing region once per run, and so does
    // one ExtCreateRegion of every run: both grow with the square of the runs.
    // One region per row, joined in pairs level by level, copies each
    // rectangle about log2(rows) times and gives the same region.
    std::vector<win32::UniqueRgn> level;
    for (size_t first = 0; first < runs.size();) {
        size_t end = first;
        while (end < runs.size() && runs[end].top == runs[first].top)
            ++end;
        level.emplace_back(RegionFromRuns(&runs[first], end - first, scale));
        first = end;
    }
    if (level.empty())
        return ::CreateRectRgn(0, 0, 0, 0);
    while (level.size() > 1) {
        std::vector<win32::UniqueRgn> next;
        for (size_t i = 0; i + 1 < level.size(); i += 2) {
            win32::UniqueRgn joined(::CreateRectRgn(0, 0, 0, 0));
            ::CombineRgn(joined.get(), level[i].get(), level[i + 1].get(), RGN_OR);
            next.push_back(std::move(joined));
        }
        if (level.size() % 2 == 1)
            next.push_back(std::move(level.back()));
        level = std::move(next);
    }
    return level.front().release();
}
