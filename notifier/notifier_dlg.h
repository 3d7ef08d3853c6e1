// The notifier popup: a layered, region-shaped, top-most dialog that loops
// the skin's frames and draws the shared new-mail count over them.
#pragma once

#include "afxwin.h"
#include "counter.h"
#include "resource.h"

constexpr int MAX_FRAMES = 30;
constexpr UINT ANIMATION_TIMER = 1;
constexpr UINT TOPMOST_TIMER = 2;

// Title text looked for on dismissal; filled from the settings.
extern char g_windowName[256];
// Set by the first teardown; the teardown runs once per process.
extern int g_finished;

class CNotifierDlg : public CDialog {
public:
    enum { IDD = IDD_NOTIFIER };

    explicit CNotifierDlg(CWnd* parent = nullptr);
    ~CNotifierDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnTimer(UINT id);
    afx_msg void OnLButtonDown(UINT flags, POINT point);
    afx_msg void OnLButtonUp(UINT flags, POINT point);
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    afx_msg void OnRButtonDown(UINT flags, POINT point);
    afx_msg void OnRButtonUp(UINT flags, POINT point);
    afx_msg void OnMouseMove(UINT flags, POINT point);
    DECLARE_MESSAGE_MAP()

private:
    // Settings file.
    void LoadSettings();
    void SavePosition() const;

    // Skin strip and frame regions.
    BOOL LoadSkinStrip(fw::UniqueBitmap* loaded, BITMAP* description);
    BOOL BuildSkin(fw::UniqueBitmap loaded, const BITMAP& description);
    BOOL BuildFrameRegions(HDC sourceDC);
    static BITMAPINFO* MakeBitmapInfo(HBITMAP bitmap);
    static COLORREF PixelAt(int x, int y, const BYTE* bits, int stride, int height);
    void ApplyFrameRegion(int frame, BOOL redraw);
    void ReportSkinFailure(LPCSTR message);

    // Animation and painting.
    void AppendAboutMenuItem();
    void ShowNextFrame();
    void CopyFrameTo(HDC dc) const;
    void DrawCount(HDC dc, int count);
    void RefreshTopMost();
    void KeepOnScreen();
    void ApplyAlpha(int alpha);

    // Teardown.
    void FinishNotification();

    POINT m_dragOffset = {};
    int m_dragging = 0;
    int m_interval = 0;
    int m_trans = 0;
    int m_useTrans = 0;
    int m_bmpWidth = 0;
    int m_posX = 0;
    int m_posY = 0;
    int m_curFrame = 0;
    int m_frameCount = 0;
    RECT m_textRect = {};
    int m_fontSize = 0;
    char m_fontFace[128] = {};
    COLORREF m_textColor = 0;
    // Made once the settings are read; the same font draws every tick.
    fw::UniqueFont m_countFont;
    MailCountReader m_mailCount;
    // What the window shows: a one-frame skin redraws only when it changes.
    int m_shownCount = 0;
    // Nothing is activated until the settings say so.
    int m_activate = 0;
    CDC m_memDC;
    CBitmap m_stripBitmap;
    CRgn m_frameRgn[MAX_FRAMES];
    int m_skinLoaded = 0;
    int m_stripStride = 0;
    int m_stripHeight = 0;
    HICON m_hIcon = nullptr;
    // A right-button release only counts after a press on the window.
    bool m_dragOffsetSet = false;
};
