// Who can see the popup. While the session is locked or the display is off
// nobody can: the timers stop, and the window stays as it is. While
// full-screen work (a game, a slide show, a video) is in front the popup
// keeps out of it, hidden. Either way it comes back with the current count.
#include "notifier/notifier_dlg.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include "notifier/polite_rules.h"

namespace {

// The one popup of the process, for the hook, which has no context of its own.
HWND g_presenceWindow = nullptr;

void CALLBACK ForegroundChanged(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    ::PostMessageA(g_presenceWindow, WM_FOREGROUND_CHANGED, 0, 0);
}

ScreenRect ToScreenRect(const RECT& r) { return ScreenRect { r.left, r.top, r.right, r.bottom }; }

// The foreground window when it is another program's, and not the desktop or the shell.
HWND OtherProgramInFront()
{
    const HWND front = ::GetForegroundWindow();
    DWORD owner = 0;
    ::GetWindowThreadProcessId(front, &owner);
    if (!front || owner == ::GetCurrentProcessId() || front == ::GetDesktopWindow() || front == ::GetShellWindow())
        return nullptr;
    return front;
}

} // namespace

void CNotifierDlg::WatchPresence()
{
    m_sessionNotify = ::WTSRegisterSessionNotification(m_hWnd, NOTIFY_FOR_THIS_SESSION) != FALSE;
    m_displayNotify.reset(
        ::RegisterPowerSettingNotification(m_hWnd, &GUID_CONSOLE_DISPLAY_STATE, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (!m_settings.quiet)
        return;
    g_presenceWindow = m_hWnd;
    // Out of context: the callback runs on this thread, between messages.
    m_foregroundHook.reset(::SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
        &ForegroundChanged, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    m_presence.heldBack = FullScreenWorkInFront();
    m_presence.hidden = m_presence.heldBack;
    ::SetTimer(m_hWnd, QUIET_TIMER, 1000, nullptr);
}

void CNotifierDlg::StopWatchingPresence()
{
    m_foregroundHook.reset();
    m_displayNotify.reset();
    if (m_sessionNotify)
        ::WTSUnRegisterSessionNotification(m_hWnd);
    m_sessionNotify = false;
}

LRESULT CNotifierDlg::OnSessionChange(WPARAM event, LPARAM)
{
    if (event == WTS_SESSION_LOCK || event == WTS_SESSION_UNLOCK) {
        m_presence.locked = event == WTS_SESSION_LOCK;
        UpdatePresence();
    }
    return Default();
}

LRESULT CNotifierDlg::OnPowerBroadcast(WPARAM event, LPARAM setting)
{
    const auto* change = reinterpret_cast<const POWERBROADCAST_SETTING*>(setting);
    if (event == PBT_POWERSETTINGCHANGE && change && change->PowerSetting == GUID_CONSOLE_DISPLAY_STATE
        && change->DataLength >= sizeof(DWORD)) {
        // 0 off, 1 on, 2 dimmed: a dimmed display is still seen.
        m_presence.displayOff = *reinterpret_cast<const DWORD*>(change->Data) == 0;
        UpdatePresence();
    }
    Default();
    return TRUE;
}

LRESULT CNotifierDlg::OnForegroundChanged(WPARAM, LPARAM)
{
    UpdatePresence();
    return 0;
}

// Whoever comes back finds the full-screen work of now, not of before.
void CNotifierDlg::UpdatePresence()
{
    if (m_settings.quiet && !m_presence.away())
        m_presence.heldBack = FullScreenWorkInFront();
    ApplyPresence();
}

// A hidden popup stays hidden whoever shows it (the dialog manager does,
// once after the initialisation and once when its loop first idles), and it
// takes the foreground from nobody.
LRESULT CNotifierDlg::OnWindowPosChanging(WPARAM, LPARAM pos)
{
    auto* change = reinterpret_cast<WINDOWPOS*>(pos);
    if (m_presence.hidden)
        change->flags = (change->flags & ~SWP_SHOWWINDOW) | SWP_NOACTIVATE;
    return Default();
}

void CNotifierDlg::ApplyPresence()
{
    if (m_finished)
        return;
    const bool run = !m_presence.away() && !m_presence.heldBack;
    if (!run && m_presence.timersRunning)
        StopTimers();
    if (m_presence.heldBack != m_presence.hidden)
        SetHidden(m_presence.heldBack);
    if (run && !m_presence.timersRunning)
        StartTimers(true);
    // The once-a-second look runs while someone may be looking.
    if (m_settings.quiet && m_presence.away())
        ::KillTimer(m_hWnd, QUIET_TIMER);
    else if (m_settings.quiet)
        ::SetTimer(m_hWnd, QUIET_TIMER, 1000, nullptr);
}

void CNotifierDlg::SetHidden(bool hidden)
{
    // Before the window moves: the position filter goes by it.
    m_presence.hidden = hidden;
    if (hidden)
        ::ShowWindow(m_hWnd, SW_HIDE);
    else
        SetWindowPos(&wndTopMost, m_settings.posX, m_settings.posY, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CNotifierDlg::StartTimers(bool redraw)
{
    m_presence.timersRunning = true;
    ::SetTimer(m_hWnd, TOPMOST_TIMER, 100, nullptr);
    if (m_drag.dragging)
        return;
    ::SetTimer(m_hWnd, ANIMATION_TIMER, m_settings.interval, nullptr);
    // Back with the count as it is now, not a period later.
    if (redraw)
        ShowNextFrame();
}

void CNotifierDlg::StopTimers()
{
    m_presence.timersRunning = false;
    ::KillTimer(m_hWnd, ANIMATION_TIMER);
    ::KillTimer(m_hWnd, TOPMOST_TIMER);
}

// The monitor the popup shows on, whether or not it shows now.
RECT CNotifierDlg::PopupMonitor() const
{
    RECT popup;
    ::GetWindowRect(m_hWnd, &popup);
    ::OffsetRect(&popup, m_settings.posX - popup.left, m_settings.posY - popup.top);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromRect(&popup, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcMonitor;
}

bool CNotifierDlg::FullScreenWorkInFront() const
{
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    if (::SHQueryUserNotificationState(&state) == S_OK && HoldsNotificationsBack(state))
        return true;
    const HWND front = OtherProgramInFront();
    // A maximised window with a title bar is everyday work, even where it
    // covers the whole monitor (a taskbar that hides itself).
    if (!front || (::GetWindowLongA(front, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
        return false;
    RECT covered;
    ::GetWindowRect(front, &covered);
    return CoversMonitor(ToScreenRect(covered), ToScreenRect(PopupMonitor()));
}
