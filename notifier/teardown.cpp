// Dismissal: the one teardown per process, and the activation of the mail
// client's windows.
#include "counter.h"
#include "notifier_dlg.h"
#include "title_match.h"

namespace {

BOOL CALLBACK ActivateMatchingWindow(HWND hwnd, LPARAM)
{
    char title[260] = {};
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (TitleContains(title, g_windowName)) {
        ::ShowWindow(hwnd, SW_SHOWNORMAL);
        ::SetForegroundWindow(hwnd);
    }
    return TRUE;
}

} // namespace

void CNotifierDlg::OnClose()
{
    FinishNotification();
    Default();
}

void CNotifierDlg::OnDestroy()
{
    CWnd::OnDestroy();
    FinishNotification();
}

void CNotifierDlg::FinishNotification()
{
    if (g_finished)
        return;
    // First, so that a message handled below cannot start the teardown again.
    g_finished = 1;

    ::KillTimer(m_hWnd, ANIMATION_TIMER);
    for (int i = 0; i < m_frameCount; ++i)
        m_frameRgn[i].DeleteObject();
    if (m_skinLoaded) {
        m_memDC.DeleteDC();
        m_stripBitmap.DeleteObject();
    }
    if (m_activate)
        ::EnumWindows(&ActivateMatchingWindow, 0);
    WriteMailCount(0);
}
