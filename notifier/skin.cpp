// Skin strip: the painting copy in a memory DC and one window region per
// frame, cut from the pixels that differ from the top-left pixel's colour.
#include "notifier/frame_geometry.h"
#include "notifier/frame_regions.h"
#include "notifier/notifier_dlg.h"
#include "win32/module_path.h"
#include "win32/scoped_gdi.h"

namespace {

const char kLoadFailed[] = "受信アニメBmpのロードに失敗しました";
const char kDataError[] = "BMPデータエラーが発生しました";

// The skin strip beside the executable, under its base name.
std::string SkinPath() { return win32::ModuleSiblingPath("bmp"); }

} // namespace

void CNotifierDlg::ReportSkinFailure(LPCSTR message)
{
    AfxMessageBox(message, MB_OK, 0);
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

BOOL CNotifierDlg::LoadSkinStrip(win32::UniqueBitmap* loaded, BITMAP* description)
{
    loaded->reset(static_cast<HBITMAP>(
        ::LoadImageA(nullptr, SkinPath().c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    if (!*loaded) {
        ReportSkinFailure(kLoadFailed);
        return FALSE;
    }
    if (::GetObjectA(loaded->get(), sizeof(BITMAP), description) == 0) {
        loaded->reset();
        ReportSkinFailure(kDataError);
        return FALSE;
    }
    return TRUE;
}

BOOL CNotifierDlg::BuildSkin(win32::UniqueBitmap loaded, const BITMAP& description)
{
    const bool built = m_skin.Build(loaded.get(), description, m_settings.bmpWidth, m_scale);
    loaded.reset();
    if (!built) {
        ReportSkinFailure(kDataError);
        return FALSE;
    }
    return TRUE;
}

void CNotifierDlg::ApplyFrameRegion(int frame, BOOL redraw)
{
    // From here on the window owns the copy.
    HRGN shape = m_skin.FrameRegionCopy(frame);
    if (!::SetWindowRgn(m_hWnd, shape, redraw))
        ::DeleteObject(shape);
}

bool NotifierSkin::Build(HBITMAP loaded, const BITMAP& description, int frameWidth, int scale)
{
    m_memDC.CreateCompatibleDC(nullptr);
    BITMAP copyDescription = description;
    copyDescription.bmBits = nullptr;
    m_stripBitmap.CreateBitmapIndirect(&copyDescription);
    // The memory DC's own first bitmap is not kept: the DC is only ever
    // deleted, never given its bitmap back.
    ::SelectObject(m_memDC, m_stripBitmap);

    bool built = false;
    {
        const win32::UniqueMemoryDC sourceDC(::CreateCompatibleDC(nullptr));
        const win32::ObjectSelection source(sourceDC.get(), loaded);
        ::BitBlt(m_memDC, 0, 0, description.bmWidth, description.bmHeight, sourceDC.get(), 0, 0, SRCCOPY);

        m_stripStride = StripStride(description.bmWidth);
        m_stripHeight = description.bmHeight;
        m_bmpWidth = EffectiveFrameWidth(frameWidth, description.bmWidth);
        m_frameCount = FrameCount(description.bmWidth, m_bmpWidth);

        // A skin must give at least one whole frame to show and to step through.
        built = m_frameCount > 0 && ScanFrames(sourceDC.get());
    }
    if (!built) {
        // A bitmap still selected into its DC cannot be deleted: the DC goes first.
        m_memDC.DeleteDC();
        m_stripBitmap.DeleteObject();
        return false;
    }
    m_skinLoaded = true;
    SetScale(scale);
    return true;
}

void NotifierSkin::SetScale(int scale)
{
    m_scale = scale;
    for (int i = 0; i < m_frameCount; ++i) {
        m_frameRgn[i].DeleteObject();
        m_frameRgn[i].Attach(RegionOfRuns(m_frameRuns[i], scale));
    }
    ReleaseScaled();
    if (scale > 1)
        BuildScaled();
}

void NotifierSkin::BuildScaled()
{
    BITMAP strip;
    ::GetObjectA(m_stripBitmap, sizeof strip, &strip);
    {
        const win32::WindowDC screen(nullptr);
        m_scaledBitmap.reset(::CreateCompatibleBitmap(screen.get(), strip.bmWidth * m_scale, strip.bmHeight * m_scale));
    }
    m_scaledDC.reset(::CreateCompatibleDC(nullptr));
    // The DC's own first bitmap is not kept, as for the painting copy.
    ::SelectObject(m_scaledDC.get(), m_scaledBitmap.get());
    // A whole factor with no blending copies every pixel into a square.
    ::SetStretchBltMode(m_scaledDC.get(), COLORONCOLOR);
    ::StretchBlt(m_scaledDC.get(), 0, 0, strip.bmWidth * m_scale, strip.bmHeight * m_scale, m_memDC, 0, 0,
        strip.bmWidth, strip.bmHeight, SRCCOPY);
}

void NotifierSkin::ReleaseScaled()
{
    m_scaledDC.reset();
    m_scaledBitmap.reset();
}

void NotifierSkin::Release()
{
    for (int i = 0; i < m_frameCount; ++i)
        m_frameRgn[i].DeleteObject();
    if (m_skinLoaded) {
        ReleaseScaled();
        m_memDC.DeleteDC();
        m_stripBitmap.DeleteObject();
    }
}

void NotifierSkin::CopyFrameTo(HDC dc, int frame) const
{
    const int width = m_bmpWidth * m_scale;
    ::BitBlt(
        dc, 0, 0, width, m_stripHeight * m_scale, m_scale > 1 ? m_scaledDC.get() : m_memDC, frame * width, 0, SRCCOPY);
}

HRGN NotifierSkin::FrameRegionCopy(int frame) const
{
    CRgn copy;
    copy.CreateRectRgn(0, 0, 0, 0);
    copy.CombineRgn(&m_frameRgn[frame], nullptr, RGN_COPY);
    return copy.Detach();
}

bool NotifierSkin::ScanFrames(HDC sourceDC)
{
    const win32::UniqueMemoryDC scanDC(::CreateCompatibleDC(nullptr));
    win32::UniqueLocal header;
    {
        const win32::UniqueBitmap resource(::LoadBitmapA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDB_DIBTEMPLATE)));
        header.reset(MakeBitmapInfo(resource.get()));
    }
    if (!header)
        return false;
    auto* info = static_cast<BITMAPINFO*>(header.get());
    info->bmiHeader.biWidth = m_stripStride;
    info->bmiHeader.biHeight = m_stripHeight;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(m_stripStride) * 3 * static_cast<DWORD>(m_stripHeight);

    void* bits = nullptr;
    const win32::UniqueBitmap scanCopy(::CreateDIBSection(scanDC.get(), info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!scanCopy || !bits)
        return false;
    const win32::ObjectSelection selection(scanDC.get(), scanCopy.get());
    ::BitBlt(scanDC.get(), 0, 0, m_stripStride, m_stripHeight, sourceDC, 0, 0, SRCCOPY);
    ::GdiFlush();

    const auto* pixels = static_cast<const BYTE*>(bits);
    const COLORREF key = PixelAt(0, 0, pixels, m_stripStride, m_stripHeight);
    for (int i = 0; i < m_frameCount; ++i)
        ScanFrameRuns(pixels, m_stripStride, m_stripHeight, i, m_bmpWidth, key, &m_frameRuns[i]);
    return true;
}

BITMAPINFO* NotifierSkin::MakeBitmapInfo(HBITMAP bitmap)
{
    BITMAP description;
    if (::GetObjectA(bitmap, sizeof description, &description) == 0) {
        AfxMessageBox("bmp error", MB_OK, 0);
        return nullptr;
    }
    description.bmBitsPixel = 24;
    auto* info = static_cast<BITMAPINFO*>(::LocalAlloc(LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER)));
    if (!info)
        return nullptr;
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = description.bmWidth;
    header.biHeight = description.bmHeight;
    header.biPlanes = description.bmPlanes;
    header.biBitCount = description.bmBitsPixel;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(3 * StripStride(description.bmWidth) * description.bmHeight);
    return info;
}
