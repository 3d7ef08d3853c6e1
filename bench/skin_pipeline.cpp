#include "bench/skin_pipeline.h"

#include <algorithm>
#include <utility>

#include "bench/reference_regions.h"
#include "bench/stats.h"
#include "notifier/frame_geometry.h"
#include "notifier/frame_regions.h"
#include "notifier/run_scan.h"
#include "win32/scoped_gdi.h"

namespace bench {

const char* MethodName(RegionMethod method)
{
    switch (method) {
    case RegionMethod::Product:
        return "row regions joined in pairs (product)";
    case RegionMethod::MergePerRun:
        return "CombineRgn merge per run (design)";
    case RegionMethod::OneExtCreateRegion:
        return "one ExtCreateRegion per frame (alternative)";
    }
    return "";
}

namespace {

    HRGN OneExtCreateRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key)
    {
        std::vector<PixelRun> runs;
        ScanFrameRuns(bits, stride, height, frame, frameWidth, key, &runs);
        return RegionFromRuns(runs.data(), runs.size());
    }

    HRGN FrameRegion(
        RegionMethod method, const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key)
    {
        switch (method) {
        case RegionMethod::Product:
            return BuildFrameRegion(bits, stride, height, frame, frameWidth, key);
        case RegionMethod::MergePerRun:
            return reference::MergedFrameRegion(bits, stride, height, frame, frameWidth, key);
        case RegionMethod::OneExtCreateRegion:
            return OneExtCreateRegion(bits, stride, height, frame, frameWidth, key);
        }
        return nullptr;
    }

    // The scan copy and the regions, from the DC that holds the loaded strip.
    bool BuildFrameRegions(
        HDC sourceDC, int stride, RegionMethod method, int frameLimit, Skin* skin, SkinBuildTimes* times)
    {
        const double start = NowMs();
        const win32::UniqueMemoryDC scanDC(::CreateCompatibleDC(nullptr));
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = stride;
        info.bmiHeader.biHeight = skin->height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        info.bmiHeader.biSizeImage = static_cast<DWORD>(stride) * 3 * static_cast<DWORD>(skin->height);
        void* bits = nullptr;
        const win32::UniqueBitmap scanCopy(::CreateDIBSection(scanDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!scanCopy || !bits)
            return false;
        const win32::ObjectSelection selection(scanDC.get(), scanCopy.get());
        ::BitBlt(scanDC.get(), 0, 0, stride, skin->height, sourceDC, 0, 0, SRCCOPY);
        ::GdiFlush();
        const auto* pixels = static_cast<const BYTE*>(bits);
        const COLORREF key = PixelAt(0, 0, pixels, stride, skin->height);
        times->scanMs = NowMs() - start;

        const int frames = frameLimit < 0 ? skin->frameCount : std::min(frameLimit, skin->frameCount);
        for (int i = 0; i < frames; ++i) {
            const double frameStart = NowMs();
            skin->frameRgn.emplace_back(FrameRegion(method, pixels, stride, skin->height, i, skin->frameWidth, key));
            times->frameMs.push_back(NowMs() - frameStart);
        }
        return true;
    }

} // namespace

bool BuildSkin(
    const std::string& path, int frameWidth, RegionMethod method, int frameLimit, Skin* skin, SkinBuildTimes* times)
{
    const double start = NowMs();
    win32::UniqueBitmap loaded(static_cast<HBITMAP>(
        ::LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    BITMAP description;
    if (!loaded || ::GetObjectA(loaded.get(), sizeof description, &description) == 0)
        return false;
    times->loadMs = NowMs() - start;

    bool built = false;
    {
        const double copyStart = NowMs();
        skin->memDC.reset(::CreateCompatibleDC(nullptr));
        BITMAP copyDescription = description;
        copyDescription.bmBits = nullptr;
        skin->stripBitmap.reset(::CreateBitmapIndirect(&copyDescription));
        ::SelectObject(skin->memDC.get(), skin->stripBitmap.get());
        const win32::UniqueMemoryDC sourceDC(::CreateCompatibleDC(nullptr));
        const win32::ObjectSelection source(sourceDC.get(), loaded.get());
        ::BitBlt(skin->memDC.get(), 0, 0, description.bmWidth, description.bmHeight, sourceDC.get(), 0, 0, SRCCOPY);
        ::GdiFlush();
        times->copyMs = NowMs() - copyStart;

        skin->height = description.bmHeight;
        skin->frameWidth = EffectiveFrameWidth(frameWidth, description.bmWidth);
        skin->frameCount = FrameCount(description.bmWidth, skin->frameWidth);
        built = skin->frameCount > 0
            && BuildFrameRegions(sourceDC.get(), StripStride(description.bmWidth), method, frameLimit, skin, times);
    }
    loaded.reset();
    times->totalMs = NowMs() - start;
    return built;
}

} // namespace bench
