// The popup's skin: the painting copy of the strip in a memory DC, one window
// region per frame and the frame geometry. Built once when the popup starts;
// Release, the teardown's step, frees it, and the destructor then finds
// nothing left (or frees a skin that was never released).
#pragma once

#include <vector>

#include "framework/afxwin.h"
#include "notifier/frame_geometry.h"
#include "notifier/run_scan.h"
#include "win32/handles.h"

constexpr int MAX_FRAMES = kMaxFrames;

class NotifierSkin {
public:
    NotifierSkin() = default;
    NotifierSkin(const NotifierSkin&) = delete;
    NotifierSkin& operator=(const NotifierSkin&) = delete;

    // Copies the loaded strip and cuts `frameWidth`-wide frames from it (0:
    // the whole strip), drawn `scale` times over. False when no whole frame
    // could be built; nothing is kept then.
    bool Build(HBITMAP loaded, const BITMAP& description, int frameWidth, int scale);

    // Draws the frames and cuts their regions `scale` times over from now on.
    void SetScale(int scale);

    // Deletes the regions, then the memory DC and the strip bitmap selected
    // into it. The frame count and the loaded flag keep their values.
    void Release();

    bool loaded() const { return m_skinLoaded; }
    int frameCount() const { return m_frameCount; }

    // Copies frame `frame` to (0, 0) of `dc`; nothing once released.
    void CopyFrameTo(HDC dc, int frame) const;

    // A fresh copy of frame `frame`'s region, for the window to own.
    HRGN FrameRegionCopy(int frame) const;

private:
    bool ScanFrames(HDC sourceDC);
    void BuildScaled();
    void ReleaseScaled();
    static BITMAPINFO* MakeBitmapInfo(HBITMAP bitmap);

    // The bitmap is selected into the DC: the DC is always deleted first.
    CDC m_memDC;
    CBitmap m_stripBitmap;
    CRgn m_frameRgn[MAX_FRAMES];
    // Each frame's runs, kept to cut its region again at another scale.
    std::vector<PixelRun> m_frameRuns[MAX_FRAMES];
    // Above 1: the strip drawn `m_scale` times over, every pixel a square.
    // The bitmap is selected into the DC, which is declared last to go first.
    win32::UniqueBitmap m_scaledBitmap;
    win32::UniqueMemoryDC m_scaledDC;
    int m_scale = 1;
    int m_frameCount = 0;
    int m_bmpWidth = 0;
    int m_stripStride = 0;
    int m_stripHeight = 0;
    bool m_skinLoaded = false;
};
