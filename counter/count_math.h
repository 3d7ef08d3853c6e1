// Pure arithmetic of the shared count; no platform calls.
#pragma once

#include <stdint.h>

// Converts a command-line number as atoi does (leading white space, one
// optional sign, decimal digits up to the first other character, 0 without
// digits), but a value outside the signed 32-bit range is clamped to it.
int32_t ParseIncrement(const char* text);

// Two's-complement 32-bit addition: the sum wraps, nothing clamps it.
int32_t WrapAdd(int32_t a, int32_t b);

// Parses a whole argument for the companion tool: an optional sign and
// decimal digits, nothing else, within the signed 32-bit range.
bool ParseStrictInt32(const char* text, int32_t* value);
