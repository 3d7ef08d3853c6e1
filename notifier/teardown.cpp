// Dismissal: the one teardown per process, and the activation of the mail
// client's windows.
#include "counter/counter.h"
#include "notifier/notifier_dlg.h"
#include "notifier/title_match.h"

namespace {

// `windowName` is the text looked for in each title.
BOOL CALLBACK ActivateMatchingWindow(HWND hwnd, LPARAM windowName)
{
    char title[260] = {};
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (TitleContains(title, reinterpret_cast<const char*>(windowName))) {
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
    StopWatchingPresence();
}

void CNotifierDlg::FinishNotification()
{
    if (m_finished)
        return;
    // First, so that a message handled below cannot start the teardown again.
    m_finished = true;

    ::KillTimer(m_hWnd, ANIMATION_TIMER);
    m_skin.Release();
    if (m_settings.activate)
        ::EnumWindows(&ActivateMatchingWindow, reinterpret_cast<LPARAM>(m_settings.windowName));
    WriteMailCount(0);
    m_preview.Dismiss();
}
