#include "bench/reference_regions.h"

#include "win32/handles.h"
#include "win32/scoped_gdi.h"

namespace reference {

namespace {

    // Read independently of the product's helper, so that the two methods
    // share nothing but the pixels.
    COLORREF Pixel(const BYTE* bits, int stride, int height, int x, int y)
    {
        const BYTE* p = bits + (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride) + x) * 3;
        return RGB(p[2], p[1], p[0]);
    }

    int RoundUpTo8(int width) { return (width + 7) / 8 * 8; }

} // namespace

HRGN MergedFrameRegion(const BYTE* bits, int stride, int height, int frame, int frameWidth, COLORREF key)
{
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    const win32::UniqueRgn scratch(::CreateRectRgn(0, 0, 0, 0));
    const int x0 = frame * frameWidth;
    for (int y = 0; y < height; ++y) {
        int s = 0;
        while (s < frameWidth) {
            if (Pixel(bits, stride, height, x0 + s, y) == key) {
                ++s;
                continue;
            }
            int n = 1;
            while (s + n < frameWidth && Pixel(bits, stride, height, x0 + s + n, y) != key)
                ++n;
            const win32::UniqueRgn run(::CreateRectRgn(s, y, s + n, y + 1));
            ::CombineRgn(scratch.get(), region, nullptr, RGN_COPY);
            ::CombineRgn(region, scratch.get(), run.get(), RGN_OR);
            s += n;
        }
    }
    return region;
}

bool LoadScanCopy(const std::string& path, ScanCopy* copy)
{
    const win32::UniqueBitmap loaded(static_cast<HBITMAP>(
        ::LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    BITMAP description;
    if (!loaded || ::GetObjectA(loaded.get(), sizeof description, &description) == 0)
        return false;
    copy->width = description.bmWidth;
    copy->stride = RoundUpTo8(description.bmWidth);
    copy->height = description.bmHeight;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = copy->stride;
    info.bmiHeader.biHeight = copy->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t size = static_cast<size_t>(copy->stride) * 3 * static_cast<size_t>(copy->height);
    info.bmiHeader.biSizeImage = static_cast<DWORD>(size);

    const win32::UniqueMemoryDC sourceDC(::CreateCompatibleDC(nullptr));
    const win32::UniqueMemoryDC scanDC(::CreateCompatibleDC(nullptr));
    void* pixels = nullptr;
    const win32::UniqueBitmap scan(::CreateDIBSection(scanDC.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!scan || !pixels)
        return false;
    BOOL copied = FALSE;
    {
        const win32::ObjectSelection source(sourceDC.get(), loaded.get());
        const win32::ObjectSelection target(scanDC.get(), scan.get());
        copied = ::BitBlt(scanDC.get(), 0, 0, copy->stride, copy->height, sourceDC.get(), 0, 0, SRCCOPY);
        ::GdiFlush();
    }
    copy->bits.assign(static_cast<const BYTE*>(pixels), static_cast<const BYTE*>(pixels) + size);
    copy->key = Pixel(copy->bits.data(), copy->stride, copy->height, 0, 0);
    return copied != FALSE;
}

} // namespace reference
