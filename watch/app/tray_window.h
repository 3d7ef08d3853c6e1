// The icon's hidden window in the watcher's thread: it follows the status
// board into the icon, its tooltip, its balloons and the status window, and
// carries out the icon's menu.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "watch/app/status_window.h"
#include "watch/app/tray_icon.h"
#include "watch/app/tray_menu.h"
#include "watch/core/watch_status.h"
#include "win32/handles.h"

namespace mail {

class StatusBoard;
class WatchedAccounts;
class WatchLog;

constexpr char kTrayWindowClass[] = "larkbellwatch_tray";

class TrayWindow {
public:
    // Quit sets `stop_event`, as --stop does.
    TrayWindow(StatusBoard& board, WatchedAccounts& accounts, WatchLog& log, HANDLE stop_event);
    TrayWindow(const TrayWindow&) = delete;
    TrayWindow& operator=(const TrayWindow&) = delete;
    ~TrayWindow();

    bool created() const { return m_icon != nullptr; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnIcon(UINT mouse_message);
    void Carry(TrayCommand command);
    void Refresh();
    void Tell(const std::vector<Alert>& alerts);

    StatusBoard& m_board;
    WatchedAccounts& m_accounts;
    WatchLog& m_log;
    HANDLE m_stop;
    AlertMemory m_told;
    bool m_timing = false; // the alert timer runs while something is not watching
    const UINT m_taskbarCreated;
    StatusWindow m_status;
    win32::UniqueWindow m_window;
    std::unique_ptr<TrayIcon> m_icon; // removed from the shell before the window goes
};

} // namespace mail
