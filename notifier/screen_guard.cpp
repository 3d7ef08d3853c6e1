#include "notifier/screen_guard.h"

bool TouchesAnyMonitor(const ScreenRect& window, const ScreenRect* monitors, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const ScreenRect& m = monitors[i];
        if (window.left < m.right && m.left < window.right && window.top < m.bottom && m.top < window.bottom)
            return true;
    }
    return false;
}
