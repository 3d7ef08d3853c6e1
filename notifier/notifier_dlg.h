// The notifier popup: a layered, region-shaped, top-most dialog that loops
// the skin's frames and draws the shared new-mail count over them.
#pragma once

#include "counter/counter.h"
#include "framework/afxwin.h"
#include "notifier/notifier_skin.h"
#include "notifier/preview_panel.h"
#include "notifier/settings_file.h"
#include "res/resource.h"
#include "win32/unique_any.h"

constexpr UINT ANIMATION_TIMER = 1;
constexpr UINT TOPMOST_TIMER = 2;
// Looks for full-screen work once a second while someone may be looking.
constexpr UINT QUIET_TIMER = 3;
// Posted by the foreground-change hook.
constexpr UINT WM_FOREGROUND_CHANGED = WM_APP + 1;

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
    afx_msg LRESULT OnWindowPosChanging(WPARAM, LPARAM pos);
    afx_msg LRESULT OnSessionChange(WPARAM event, LPARAM);
    afx_msg LRESULT OnPowerBroadcast(WPARAM event, LPARAM setting);
    afx_msg LRESULT OnForegroundChanged(WPARAM, LPARAM);
    afx_msg LRESULT OnDpiChanged(WPARAM dpi, LPARAM suggested);
    afx_msg void OnMouseHover(UINT flags, POINT point);
    afx_msg void OnMouseLeave();
    DECLARE_MESSAGE_MAP()

private:
    // Settings file.
    void LoadSettings();
    void SavePosition() const;

    // Skin strip and frame regions.
    BOOL LoadSkinStrip(win32::UniqueBitmap* loaded, BITMAP* description);
    BOOL BuildSkin(win32::UniqueBitmap loaded, const BITMAP& description);
    void ApplyFrameRegion(int frame, BOOL redraw);
    void ReportSkinFailure(LPCSTR message);

    // Animation and painting.
    void AppendAboutMenuItem();
    void ShowNextFrame();
    void DrawCount(HDC dc, int count);
    void RefreshTopMost();
    void KeepOnScreen();
    void ApplyAlpha(int alpha);

    // Teardown.
    void FinishNotification();

    // Who can see the popup.
    void WatchPresence();
    void StopWatchingPresence();
    void ApplyPresence();
    void StartTimers(bool redraw);
    void StopTimers();
    void UpdatePresence();
    void SetHidden(bool hidden);
    RECT PopupMonitor() const;
    bool FullScreenWorkInFront() const;

    // High DPI: the skin drawn at a whole factor of its pixels.
    int ScaleForDpi(int dpi) const;
    int StartScale();
    void ApplyScale(int scale);
    void SizeWindowForScale();

    // A right-button drag: the window's corner minus the cursor at the press.
    struct RightDrag {
        bool dragging = false;
        // A release only counts after a press on the window.
        bool offsetSet = false;
        POINT offset = {};
    };

    // As read at the start; a drag moves posX and posY, and an interval of 0
    // becomes 1000. Until then nothing is activated and no title matches.
    NotifierSettings m_settings = {};
    RightDrag m_drag;
    int m_curFrame = 0;
    // Made once the settings are read; the same font draws every tick.
    win32::UniqueFont m_countFont;
    MailCountReader m_mailCount;
    // What the window shows: a one-frame skin redraws only when it changes.
    int m_shownCount = 0;
    NotifierSkin m_skin;
    // Who wrote: shown while the pointer rests on the popup.
    CPreviewPanel m_preview;
    HICON m_hIcon = nullptr;
    // The teardown runs once.
    bool m_finished = false;

    // A locked session or a dark display stops the timers; full-screen work
    // in front holds the popup back, hidden.
    struct Presence {
        bool locked = false;
        bool displayOff = false;
        bool heldBack = false;
        bool hidden = false;
        bool timersRunning = false;
        bool away() const { return locked || displayOff; }
    };
    Presence m_presence;
    win32::UniqueAny<HPOWERNOTIFY, ::UnregisterPowerSettingNotification> m_displayNotify;
    win32::UniqueAny<HWINEVENTHOOK, ::UnhookWinEvent> m_foregroundHook;
    bool m_sessionNotify = false;
    // The whole factor the skin is drawn at.
    int m_scale = 1;
};
