// The small text helpers every part of the mail core shares: decimal
// numbers, hex digits, ASCII case and blanks. ASCII only, the same in every
// locale and code page.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace mail {

constexpr size_t kMaxDecimalDigits = 20; // as many as UINT64_MAX has

// True when `text` is 1 to `max_digits` decimal digits (leading zeros
// allowed) worth at most `max`; `*value` is set only then.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value, size_t max_digits = kMaxDecimalDigits);
// 1 to 10 digits within 32 bits: the numbers of IMAP, POP3 and the state file.
bool ParseUint32(std::string_view text, uint32_t* value);
// How many decimal digits `text` starts with.
size_t LeadingDigits(std::string_view text);

// 0 to 15, or -1 for anything but a hex digit; a-f only when `lower_too`.
int HexValue(char c, bool lower_too = true);
// The upper-case digit for the low four bits of `value`.
char HexDigit(unsigned value);

// Letters, digits and the characters in `also_plain` as they are; every
// other byte as "%XX" in upper-case hex.
std::string PercentEncode(std::string_view text, std::string_view also_plain);

char UpperAscii(char c);
std::string UpperAscii(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Without the spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

// The pieces of `text` between `separator`s, at most `max_parts` of them and
// then the unsplit rest as one more, so a caller can refuse too many.
std::vector<std::string_view> Split(std::string_view text, char separator, size_t max_parts);

} // namespace mail
