#include "watch/app/tray_icon.h"

#include <string.h>

#include "watch/core/watch_status.h"
#include "watch/res/watch_resource.h"

namespace mail {

namespace {

    constexpr UINT kIconId = 1;

    HICON LoadSmallIcon(int id)
    {
        // The size the notification area shows at this DPI (16, 20, 24 or 32);
        // the resource holds each, drawn for it.
        return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
            ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    }

    template <size_t N> void CopyFitted(char (&field)[N], const std::string& text)
    {
        const std::string fitted = FitCp932(text, N - 1);
        memcpy(field, fitted.c_str(), fitted.size() + 1);
    }

} // namespace

TrayIcon::TrayIcon(HWND window, UINT callback_message)
    : m_window(window)
    , m_message(callback_message)
{
    LoadIcons();
}

TrayIcon::~TrayIcon()
{
    if (m_added) {
        NOTIFYICONDATAA data = Data(0);
        ::Shell_NotifyIconA(NIM_DELETE, &data);
    }
}

void TrayIcon::LoadIcons()
{
    m_normal.reset(LoadSmallIcon(IDI_WATCH_NORMAL));
    m_attention.reset(LoadSmallIcon(IDI_WATCH_ATTENTION));
}

NOTIFYICONDATAA TrayIcon::Data(UINT flags) const
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = kIconId;
    data.uFlags = flags;
    return data;
}

void TrayIcon::Show(bool attention, const std::string& tooltip)
{
    m_showsAttention = attention;
    m_tooltip = tooltip;
    NOTIFYICONDATAA data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = m_message;
    data.hIcon = attention ? m_attention.get() : m_normal.get();
    CopyFitted(data.szTip, tooltip);
    if (m_added && ::Shell_NotifyIconA(NIM_MODIFY, &data))
        return;
    // Not added yet, or the shell lost it.
    m_added = ::Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

void TrayIcon::Balloon(const std::string& title, const std::string& text)
{
    if (!m_added)
        return;
    NOTIFYICONDATAA data = Data(NIF_INFO);
    CopyFitted(data.szInfoTitle, title);
    CopyFitted(data.szInfo, text);
    data.dwInfoFlags = NIIF_WARNING;
    ::Shell_NotifyIconA(NIM_MODIFY, &data);
}

void TrayIcon::Readd()
{
    m_added = false;
    LoadIcons();
    Show(m_showsAttention, m_tooltip);
}

} // namespace mail
