// The watcher's icon in the notification area: the normal or the attention
// bell, its tooltip and its balloons. The shell forgets it when Explorer
// restarts; Readd puts it back.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "win32/handles.h"

namespace mail {

class TrayIcon {
public:
    // Mouse events on the icon reach `window` as `callback_message`, with
    // the mouse message in lParam.
    TrayIcon(HWND window, UINT callback_message);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon(); // removes the icon

    // Adds the icon, or changes it, to this variant and tooltip.
    void Show(bool attention, const std::string& tooltip);
    // A warning balloon from the icon; the texts are cut to what fits.
    void Balloon(const std::string& title, const std::string& text);
    // The shell started anew (the "TaskbarCreated" message): add the icon again.
    void Readd();

private:
    NOTIFYICONDATAA Data(UINT flags) const;
    void LoadIcons();

    HWND m_window;
    UINT m_message;
    win32::UniqueIcon m_normal; // owned: loaded at the small-icon size
    win32::UniqueIcon m_attention;
    bool m_added = false;
    bool m_showsAttention = false;
    std::string m_tooltip;
};

} // namespace mail
