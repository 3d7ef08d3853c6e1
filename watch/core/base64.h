// Base64 (RFC 4648, standard alphabet, with padding) for the protected
// password in the settings file and for AUTHENTICATE-style payloads.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// The six-bit value of a character, or -1 outside the alphabet. `last` is
// the alphabet's 64th character: '/' here, ',' in IMAP's modified UTF-7.
int Base64Value(char c, char last = '/');
// The character for the low six bits of `sextet`.
char Base64Char(unsigned sextet, char last = '/');

std::string Base64Encode(std::string_view bytes);

// Strict: only the standard alphabet, padding only at the end and only as
// much as the length needs, unused bits zero, no white space. On failure
// `*out` is left empty.
bool Base64Decode(std::string_view text, std::string* out);

} // namespace mail
