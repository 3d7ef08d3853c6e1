// A hidden top-level window, never shown, that hears what the system tells
// running programs (message-only windows get none of it): a resume from
// sleep, a network that came or went, and the end of the session.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "watch/shell/network_change.h"
#include "win32/handles.h"

namespace mail {

constexpr char kSystemEventsClass[] = "larkbellwatch_events";

struct SystemEvents {
    std::function<void()> resumed; // from sleep or hibernation
    std::function<void()> network_changed; // once a burst of changes has settled
    // Log-off or shutdown: the process may be ended soon after this returns,
    // and Windows waits about 5 s for it.
    std::function<void()> session_ending;
};

class SystemEventsWindow {
public:
    explicit SystemEventsWindow(SystemEvents events);
    SystemEventsWindow(const SystemEventsWindow&) = delete;
    SystemEventsWindow& operator=(const SystemEventsWindow&) = delete;

    bool created() const { return m_window.valid(); }
    bool hears_network() const { return m_network && m_network->registered(); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    SystemEvents m_events;
    win32::UniqueWindow m_window;
    std::unique_ptr<NetworkChangeNotice> m_network; // after the window: cancelled before it goes
};

} // namespace mail
