// Fits a code-page-932 face name into a font description's 32-byte field.
#pragma once

#include <stddef.h>

// Copies `face` into `field` (NUL-terminated, at most fieldSize - 1 bytes),
// cutting only between characters: never half a double-byte character.
void CopyFaceName(char* field, size_t fieldSize, const char* face);
