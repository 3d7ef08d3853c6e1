#include "watch/shell/system_events_window.h"

#include <utility>

#include "win32/window_object.h"

namespace mail {

namespace {

    // An address comes with its interface, often several in a row, and the
    // route may follow a moment later: one reconnect once it has settled.
    constexpr UINT_PTR kNetworkSettleTimer = 1;
    constexpr UINT kNetworkSettleMs = 2000;

} // namespace

SystemEventsWindow::SystemEventsWindow(SystemEvents events)
    : m_events(std::move(events))
{
    m_window = win32::CreateHiddenWindow(kSystemEventsClass, "larkbellwatch", &SystemEventsWindow::WindowProc, this);
    if (m_window)
        m_network = std::make_unique<NetworkChangeNotice>(m_window.get());
}

LRESULT CALLBACK SystemEventsWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = win32::WindowObject<SystemEventsWindow>(window, message, lParam);
    if (self && self->m_window.get() == window)
        return self->OnMessage(message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT SystemEventsWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_POWERBROADCAST:
        // Windows sends the automatic resume every time, whether or not a
        // user is present, so it alone triggers the reconnect.
        if (wParam == PBT_APMRESUMEAUTOMATIC && m_events.resumed)
            m_events.resumed();
        return TRUE;
    case kNetworkChanged:
        ::SetTimer(m_window.get(), kNetworkSettleTimer, kNetworkSettleMs, nullptr); // restarts a running one
        return 0;
    case WM_TIMER:
        if (wParam != kNetworkSettleTimer)
            break;
        ::KillTimer(m_window.get(), kNetworkSettleTimer);
        if (m_events.network_changed)
            m_events.network_changed();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE; // nothing to ask the user: the state is saved as it goes
    case WM_ENDSESSION:
        if (wParam && m_events.session_ending)
            m_events.session_ending();
        return 0;
    }
    return ::DefWindowProcA(m_window.get(), message, wParam, lParam);
}

} // namespace mail
