// The font the count is drawn in.
#pragma once

#include <windows.h>

// A bold font of height `size` and face `face` (cut to fit at a character
// boundary), otherwise as the stock system font. The caller owns it.
HFONT CreateCountFont(int size, const char* face);
