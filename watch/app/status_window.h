// The status window the icon opens: one row per account and folder, in a
// list sized to its content, top-most, closed with Esc. At most one exists.
#pragma once

#include <windows.h>

#include "watch/core/watch_status.h"
#include "win32/handles.h"

namespace mail {

constexpr char kStatusWindowClass[] = "larkbellwatch_status";

class StatusWindow {
public:
    StatusWindow() = default;
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    // Creates the window or brings it forward, showing `status`.
    void Open(const WatchStatus& status, const StatusView& view);
    // Shows `status` if the window is open.
    void Update(const WatchStatus& status, const StatusView& view);

private:
    bool Create(UiLanguage language);
    void PlaceAtWorkAreaCorner();
    void Fill(const WatchStatus& status, const StatusView& view);
    void FitToContent();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // In this order, so the window goes first: the font outlives the list
    // that uses it, and the window's last message still finds m_list.
    win32::UniqueFont m_font; // the system's message font
    HWND m_list = nullptr; // a child: destroyed with m_window
    win32::UniqueWindow m_window; // given up when the user closes it
    UiLanguage m_language = UiLanguage::English; // the window's, from when it was made
};

} // namespace mail
