// Window-title matching in code page 932.
#pragma once

// True when `text` occurs in `title` starting at a character boundary (never
// on the second byte of a double-byte character). Case-sensitive. An empty
// `text` matches nothing: it would otherwise pick every window on the desktop.
bool TitleContains(const char* title, const char* text);
