// Keeps the popup reachable when its saved place lies on no screen.
#pragma once

#include <stddef.h>

struct ScreenRect {
    int left;
    int top;
    int right;
    int bottom;
};

// True when `window` shares at least one pixel with one of the monitors.
bool TouchesAnyMonitor(const ScreenRect& window, const ScreenRect* monitors, size_t count);
