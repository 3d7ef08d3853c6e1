// When and how big the popup shows: the skin's whole-number scale on a
// high-DPI screen, and the full-screen work it keeps out of.
#pragma once

#include "notifier/screen_guard.h"

// The largest factor the skin is drawn at: a 30-frame strip three times over
// is still a bitmap every display driver takes.
constexpr int kMaxScale = 3;

// The factor the skin is drawn at. A `setting` of 1 or more forces that
// factor (cut to kMaxScale); 0 or less ("auto") takes the nearest whole
// factor of `dpi` / 96, a half rounding down (150 % stays 1), at least 1.
int SkinScale(int setting, int dpi);

// True when `window` covers every pixel of `monitor`.
bool CoversMonitor(const ScreenRect& window, const ScreenRect& monitor);

// True for the notification states in which the system itself holds
// notifications back: busy, full-screen Direct3D, presentation, quiet time.
bool HoldsNotificationsBack(int state);
