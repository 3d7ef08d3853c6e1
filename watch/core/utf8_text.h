// UTF-8 a code point at a time, and text made fit to show: what mail
// headers carry is hostile, and what reaches a window must not reorder or
// hide itself.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace mail {

// Reads one code point at `*at`; false on malformed, overlong or surrogate
// input, leaving `*at` where it was.
bool NextCodePoint(std::string_view text, size_t* at, uint32_t* code);
void AppendUtf8(uint32_t code, std::string* out);
bool IsValidUtf8(std::string_view text);
bool IsAscii(std::string_view text);

// Valid UTF-8 of at most `max_bytes`, cut at a character's edge: invalid
// sequences become U+FFFD; control, format-direction and other invisible
// characters go; runs of blanks become one space, none at either end.
std::string DisplayText(std::string_view utf8, size_t max_bytes);

} // namespace mail
