// The pointer, moved and pressed through the X server with xdotool, so that
// the programs under test get real input: motion, implicit grabs, captures.
#pragma once

#include <windows.h>

#include <string>

namespace test {

constexpr int LEFT_BUTTON = 1;
constexpr int RIGHT_BUTTON = 3;

// Runs a Linux command line through /bin/sh and waits for it to end (at most
// `ms`). Wine gives no process handle for a Linux program, so the end is
// seen through a file the shell writes last. True for exit code 0.
bool RunLinux(const std::string& shellCommand, DWORD ms = 30000);
// The Linux path of a Windows path, or empty.
std::string LinuxPath(const std::string& windowsPath);

// Each returns true when xdotool did its part.
bool PointerTo(POINT at);
bool ButtonDown(int button);
bool ButtonUp(int button);
bool ClickAt(POINT at, int button);
// Moves from `from` to `to` in `steps` even steps, each a motion event.
bool PointerGlide(POINT from, POINT to, int steps);
bool PressKey(const char* keyName);

POINT Shifted(POINT point, int dx, int dy);

} // namespace test
