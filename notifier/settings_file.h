// The settings file: section "setting" of an INI file, read through the
// platform's private-profile functions.
#pragma once

#include <windows.h>

#include <string>

#include "win32/module_path.h"

struct NotifierSettings {
    int interval;
    int trans;
    int bmpWidth;
    int posX;
    int posY;
    RECT textRect;
    int activate;
    char windowName[256];
    int fontSize;
    COLORREF textColor;
    char fontFace[128];
    // 0 ("auto"): the monitor's nearest whole factor; 1 to 3 force one.
    int scale;
    // Non-zero: held back while full-screen work is in the foreground.
    int quiet;
    int previewLines; // [preview] lines: messages the panel beside the popup lists
};

// The settings file beside the executable, under its base name.
inline std::string SettingsPath() { return win32::ModuleSiblingPath("ini"); }

// Reads every key, in file order, with its default when missing. Validates
// and clamps nothing; never creates or changes the file.
void ReadSettingsFile(const char* path, NotifierSettings* settings);

// Writes "posx" and "posy" as signed decimals, leaving every other line.
void WritePositionToFile(const char* path, int x, int y);
