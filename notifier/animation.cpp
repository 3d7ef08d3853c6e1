// Initialisation, the two timers, painting and the layered alpha.
#include <stdio.h>

#include <utility>

#include "notifier/count_font.h"
#include "notifier/notifier_dlg.h"
#include "win32/scoped_gdi.h"

BOOL CNotifierDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AppendAboutMenuItem();
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_drag.dragging = false;
    win32::UniqueBitmap loaded;
    BITMAP description;
    if (!LoadSkinStrip(&loaded, &description))
        return FALSE;
    LoadSettings();
    m_scale = StartScale();
    m_preview.Open();
    m_countFont.reset(CreateCountFont(m_settings.fontSize * m_scale, m_settings.fontFace));
    if (!BuildSkin(std::move(loaded), description))
        return FALSE;
    ApplyFrameRegion(0, TRUE);
    m_curFrame = 0;
    // At 1 the template's own size stands, as it always has.
    if (m_scale > 1)
        SizeWindowForScale();

    KeepOnScreen();
    // Before the window first shows: full-screen work in front keeps it hidden.
    WatchPresence();
    SetWindowPos(&wndTopMost, m_settings.posX, m_settings.posY, 0, 0, SWP_NOSIZE);
    if (m_settings.interval == 0)
        m_settings.interval = 1000;
    if (!m_presence.heldBack)
        StartTimers(false);
    ApplyAlpha(m_settings.trans);
    return TRUE;
}

void CNotifierDlg::OnTimer(UINT id)
{
    if (id == ANIMATION_TIMER)
        ShowNextFrame();
    else if (id == TOPMOST_TIMER)
        RefreshTopMost();
    else if (id == QUIET_TIMER)
        UpdatePresence();
    Default();
}

void CNotifierDlg::ShowNextFrame()
{
    // Only a started skin has frames to step through.
    if (m_skin.frameCount() <= 0)
        return;
    m_curFrame = (m_curFrame + 1) % m_skin.frameCount();
    if (!m_skin.loaded())
        return;
    const int count = m_mailCount.Read();
    if (m_skin.frameCount() == 1 && count == m_shownCount)
        return;
    ApplyFrameRegion(m_curFrame, FALSE);
    const win32::WindowDC dc(m_hWnd);
    m_skin.CopyFrameTo(dc.get(), m_curFrame);
    DrawCount(dc.get(), count);
}

void CNotifierDlg::DrawCount(HDC dc, int count)
{
    m_shownCount = count;
    char text[16];
    snprintf(text, sizeof text, "%d", count);

    const win32::ObjectSelection selection(dc, m_countFont.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_settings.textColor);
    const RECT& r = m_settings.textRect;
    RECT box = { r.left * m_scale, r.top * m_scale, r.right * m_scale, r.bottom * m_scale };
    ::DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

void CNotifierDlg::RefreshTopMost()
{
    ::KillTimer(m_hWnd, TOPMOST_TIMER);
    SetWindowPos(&wndNoTopMost, m_settings.posX, m_settings.posY, 0, 0, SWP_NOSIZE);
    SetWindowPos(&wndTopMost, m_settings.posX, m_settings.posY, 0, 0, SWP_NOSIZE);
    ::SetTimer(m_hWnd, TOPMOST_TIMER, 1000, nullptr);
}

void CNotifierDlg::OnPaint()
{
    if (::IsIconic(m_hWnd)) {
        CPaintDC dc(this);
        ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(static_cast<HDC>(dc)), 0);
        RECT client;
        ::GetClientRect(m_hWnd, &client);
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, m_hIcon);
        return;
    }
    if (m_skin.loaded()) {
        const win32::WindowDC dc(m_hWnd);
        m_skin.CopyFrameTo(dc.get(), m_curFrame);
        DrawCount(dc.get(), m_mailCount.Read());
    }
    Default();
}

HCURSOR CNotifierDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CNotifierDlg::ApplyAlpha(int alpha)
{
    using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    const win32::UniqueModule user32(::LoadLibraryA("user32"));
    const auto setAttributes = reinterpret_cast<SetLayeredWindowAttributesFn>(
        reinterpret_cast<void*>(::GetProcAddress(user32.get(), "SetLayeredWindowAttributes")));
    if (setAttributes)
        setAttributes(m_hWnd, 0, static_cast<BYTE>(alpha & 0xFF), LWA_ALPHA);
}
