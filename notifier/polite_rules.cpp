#include "notifier/polite_rules.h"

int SkinScale(int setting, int dpi)
{
    // 96 DPI is 100 %; a half (144, 240, ...) rounds down.
    int scale = setting > 0 ? setting : (dpi + 47) / 96;
    if (scale < 1)
        scale = 1;
    return scale > kMaxScale ? kMaxScale : scale;
}

bool CoversMonitor(const ScreenRect& window, const ScreenRect& monitor)
{
    return window.left <= monitor.left && window.top <= monitor.top && window.right >= monitor.right
        && window.bottom >= monitor.bottom;
}

bool HoldsNotificationsBack(int state)
{
    // QUNS_BUSY, QUNS_RUNNING_D3D_FULL_SCREEN, QUNS_PRESENTATION_MODE, QUNS_QUIET_TIME.
    return state == 2 || state == 3 || state == 4 || state == 6;
}
