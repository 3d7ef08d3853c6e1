// Initialisation, the two timers, painting and the layered alpha.
#include <stdio.h>

#include <utility>

#include "count_font.h"
#include "notifier_dlg.h"
#include "scoped_gdi.h"

BOOL CNotifierDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AppendAboutMenuItem();
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_skinLoaded = 0;
    m_frameCount = 0;
    m_dragging = 0;
    fw::UniqueBitmap loaded;
    BITMAP description;
    if (!LoadSkinStrip(&loaded, &description))
        return FALSE;
    LoadSettings();
    m_countFont.reset(CreateCountFont(m_fontSize, m_fontFace));
    if (!BuildSkin(std::move(loaded), description))
        return FALSE;
    ApplyFrameRegion(0, TRUE);
    m_curFrame = 0;

    KeepOnScreen();
    ::SetTimer(m_hWnd, TOPMOST_TIMER, 100, nullptr);
    SetWindowPos(&wndTopMost, m_posX, m_posY, 0, 0, SWP_NOSIZE);
    if (m_interval == 0)
        m_interval = 1000;
    // One frame has nothing to step to, but its count follows the shared one.
    ::SetTimer(m_hWnd, ANIMATION_TIMER, m_interval, nullptr);
    ApplyAlpha(m_useTrans ? m_trans : 255);
    return TRUE;
}

void CNotifierDlg::OnTimer(UINT id)
{
    if (id == ANIMATION_TIMER)
        ShowNextFrame();
    else if (id == TOPMOST_TIMER)
        RefreshTopMost();
    Default();
}

void CNotifierDlg::ShowNextFrame()
{
    // Only a started skin has frames to step through.
    if (m_frameCount <= 0)
        return;
    m_curFrame = (m_curFrame + 1) % m_frameCount;
    if (!m_skinLoaded)
        return;
    const int count = m_mailCount.Read();
    if (m_frameCount == 1 && count == m_shownCount)
        return;
    ApplyFrameRegion(m_curFrame, FALSE);
    const fw::WindowDC dc(m_hWnd);
    CopyFrameTo(dc.get());
    DrawCount(dc.get(), count);
}

void CNotifierDlg::CopyFrameTo(HDC dc) const
{
    ::BitBlt(dc, 0, 0, m_bmpWidth, m_stripHeight, m_memDC, m_curFrame * m_bmpWidth, 0, SRCCOPY);
}

void CNotifierDlg::DrawCount(HDC dc, int count)
{
    m_shownCount = count;
    char text[16];
    snprintf(text, sizeof text, "%d", count);

    const fw::ObjectSelection selection(dc, m_countFont.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_textColor);
    RECT box = m_textRect;
    ::DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

void CNotifierDlg::RefreshTopMost()
{
    ::KillTimer(m_hWnd, TOPMOST_TIMER);
    SetWindowPos(&wndNoTopMost, m_posX, m_posY, 0, 0, SWP_NOSIZE);
    SetWindowPos(&wndTopMost, m_posX, m_posY, 0, 0, SWP_NOSIZE);
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
    if (m_skinLoaded) {
        const fw::WindowDC dc(m_hWnd);
        CopyFrameTo(dc.get());
        DrawCount(dc.get(), m_mailCount.Read());
    }
    Default();
}

HCURSOR CNotifierDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CNotifierDlg::ApplyAlpha(int alpha)
{
    using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    const fw::UniqueModule user32(::LoadLibraryA("user32"));
    const auto setAttributes = reinterpret_cast<SetLayeredWindowAttributesFn>(
        reinterpret_cast<void*>(::GetProcAddress(user32.get(), "SetLayeredWindowAttributes")));
    if (setAttributes)
        setAttributes(m_hWnd, 0, static_cast<BYTE>(alpha & 0xFF), LWA_ALPHA);
}
