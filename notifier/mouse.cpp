// The mouse is the popup's only control: a left click dismisses it, a right
// drag moves it. Every position is the cursor's, in screen coordinates.
#include "notifier/notifier_dlg.h"

void CNotifierDlg::OnLButtonDown(UINT, POINT) { Default(); }

void CNotifierDlg::OnLButtonUp(UINT, POINT)
{
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    Default();
}

void CNotifierDlg::OnRButtonDown(UINT, POINT)
{
    m_preview.Hide();
    ::KillTimer(m_hWnd, ANIMATION_TIMER);
    ::SetCapture(m_hWnd);
    POINT cursor;
    ::GetCursorPos(&cursor);
    m_drag.dragging = true;
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    m_drag.offset = POINT { window.left - cursor.x, window.top - cursor.y };
    m_drag.offsetSet = true;
    Default();
}

void CNotifierDlg::OnMouseMove(UINT, POINT)
{
    if (m_drag.dragging) {
        POINT cursor;
        ::GetCursorPos(&cursor);
        SetWindowPos(&wndTopMost, cursor.x + m_drag.offset.x, cursor.y + m_drag.offset.y, 0, 0, SWP_NOSIZE);
    } else {
        // Every move asks again: a hover is reported once per request.
        TRACKMOUSEEVENT track = { sizeof track, TME_HOVER | TME_LEAVE, m_hWnd, HOVER_DEFAULT };
        ::TrackMouseEvent(&track);
    }
    Default();
}

void CNotifierDlg::OnMouseHover(UINT, POINT)
{
    if (!m_drag.dragging)
        m_preview.Show(m_hWnd, m_settings.previewLines, m_mailCount.Read());
    Default();
}

void CNotifierDlg::OnMouseLeave()
{
    m_preview.Hide();
    Default();
}

void CNotifierDlg::OnRButtonUp(UINT, POINT)
{
    // Without a press on the window there is no offset to place it by.
    if (m_drag.offsetSet) {
        ::ReleaseCapture();
        m_drag.dragging = false;
        POINT cursor;
        ::GetCursorPos(&cursor);
        m_settings.posX = cursor.x + m_drag.offset.x;
        m_settings.posY = cursor.y + m_drag.offset.y;
        SetWindowPos(&wndTopMost, m_settings.posX, m_settings.posY, 0, 0, SWP_NOSIZE);
        // Not while nobody can see it.
        if (m_presence.timersRunning)
            ::SetTimer(m_hWnd, ANIMATION_TIMER, m_settings.interval, nullptr);
        SavePosition();
    }
    Default();
}
