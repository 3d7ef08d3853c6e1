// Where the popup opens: the saved place, unless no monitor shows any of it.
#include <vector>

#include "notifier/notifier_dlg.h"
#include "notifier/screen_guard.h"

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT area, LPARAM list)
{
    reinterpret_cast<std::vector<ScreenRect>*>(list)->push_back(
        ScreenRect { area->left, area->top, area->right, area->bottom });
    return TRUE;
}

} // namespace

void CNotifierDlg::KeepOnScreen()
{
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    const int x = m_settings.posX;
    const int y = m_settings.posY;
    const ScreenRect placed = { x, y, x + (window.right - window.left), y + (window.bottom - window.top) };
    std::vector<ScreenRect> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (TouchesAnyMonitor(placed, monitors.data(), monitors.size()))
        return;
    // A monitor that is gone would leave the popup unseen and undismissable.
    // The file keeps its values until the user moves the popup again.
    RECT workArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    m_settings.posX = workArea.left;
    m_settings.posY = workArea.top;
}
