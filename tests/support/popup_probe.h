// The running notifier seen from another process: its popup, shape and
// place, what the screen shows, its settings file, and screenshots.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_any.h"

namespace test {

// A pixel of the bundled skin's count badge, opaque in every frame, in
// window coordinates.
constexpr POINT kBadgeInWindow = { 95, 93 };

// The popup of process `pid` (its visible layered dialog), or null after `ms`.
HWND WaitForPopupOf(DWORD pid, DWORD ms = 10000);

POINT TopLeftOf(HWND window);
bool SamePoint(POINT a, POINT b);
// Waits until the window's top-left corner is at `where`.
bool WaitForTopLeft(HWND window, POINT where, DWORD ms = 10000);

// Moves the pointer, right button held, to `cursor` until the window's
// top-left corner is at `topLeft`. During a drag the top-most refresh puts the
// window back at its saved place until the next motion, so a move that lost
// that race is made again.
bool DragTo(HWND popup, POINT cursor, POINT topLeft);

// Waits until the popup is the window at its badge; `badge` gets the
// badge's place on the screen.
bool WaitForBadgeOnTop(HWND popup, POINT* badge, DWORD ms = 10000);

// A copy of the window's current shape, or null when it has none.
fw::UniqueRgn ShapeOf(HWND window);
bool SameShape(HRGN a, HRGN b);
// Waits until the window's shape is no longer `shape`.
bool WaitForShapeChange(HWND window, HRGN shape, DWORD ms = 10000);

// Colours of a screen area, top row first.
std::vector<COLORREF> ScreenColours(const RECT& area);

// Screen centre of child control `id` of `dialog`.
POINT ControlCentre(HWND dialog, int id);

// Saves the X screen's `area` as build/screenshots/`name`.png; the path on
// the Linux side, or empty when it failed.
std::string SaveScreenshot(const char* name, const RECT& area);

// Lines of a text file without line ends, blank lines left out.
std::vector<std::string> NonBlankLines(const std::string& text);

} // namespace test
