#include "watch/shell/system_events_window.h"

#include <utility>

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
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &SystemEventsWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kSystemEventsClass;
    ::RegisterClassA(&windowClass);
    // WS_POPUP without WS_VISIBLE: a top-level window that never appears.
    m_window = ::CreateWindowExA(
        WS_EX_TOOLWINDOW, kSystemEventsClass, "larkbellwatch", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
    if (m_window)
        m_network = std::make_unique<NetworkChangeNotice>(m_window);
}

SystemEventsWindow::~SystemEventsWindow()
{
    m_network.reset();
    if (m_window)
        ::DestroyWindow(m_window);
}

LRESULT CALLBACK SystemEventsWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<SystemEventsWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->m_window == window)
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
        ::SetTimer(m_window, kNetworkSettleTimer, kNetworkSettleMs, nullptr); // restarts a running one
        return 0;
    case WM_TIMER:
        if (wParam != kNetworkSettleTimer)
            break;
        ::KillTimer(m_window, kNetworkSettleTimer);
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
    return ::DefWindowProcA(m_window, message, wParam, lParam);
}

} // namespace mail
