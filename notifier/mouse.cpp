// The mouse is the popup's only control: a left click dismisses it, a right
// drag moves it. Every position is the cursor's, in screen coordinates.
#include "notifier_dlg.h"

void CNotifierDlg::OnLButtonDown(UINT, POINT) { Default(); }

void CNotifierDlg::OnLButtonUp(UINT, POINT)
{
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    Default();
}

void CNotifierDlg::OnRButtonDown(UINT, POINT)
{
    ::KillTimer(m_hWnd, ANIMATION_TIMER);
    ::SetCapture(m_hWnd);
    POINT cursor;
    ::GetCursorPos(&cursor);
    m_dragging = 1;
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    m_dragOffset = POINT { window.left - cursor.x, window.top - cursor.y };
    m_dragOffsetSet = true;
    Default();
}

void CNotifierDlg::OnMouseMove(UINT, POINT)
{
    if (m_dragging == 1) {
        POINT cursor;
        ::GetCursorPos(&cursor);
        SetWindowPos(&wndTopMost, cursor.x + m_dragOffset.x, cursor.y + m_dragOffset.y, 0, 0, SWP_NOSIZE);
    }
    Default();
}

void CNotifierDlg::OnRButtonUp(UINT, POINT)
{
    // Without a press on the window there is no offset to place it by.
    if (m_dragOffsetSet) {
        ::ReleaseCapture();
        m_dragging = 0;
        POINT cursor;
        ::GetCursorPos(&cursor);
        m_posX = cursor.x + m_dragOffset.x;
        m_posY = cursor.y + m_dragOffset.y;
        SetWindowPos(&wndTopMost, m_posX, m_posY, 0, 0, SWP_NOSIZE);
        ::SetTimer(m_hWnd, ANIMATION_TIMER, m_interval, nullptr);
        SavePosition();
    }
    Default();
}
