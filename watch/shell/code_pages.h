// The settings are code page 932; the wire wants UTF-8 (and, for folder
// names, modified UTF-7 made from that).
#pragma once

#include <string>
#include <string_view>

namespace mail {

// False for bytes that are not valid in the code page.
bool Cp932ToUtf8(std::string_view cp932, std::string* utf8);
bool WideToUtf8(std::wstring_view wide, std::string* utf8);
// Characters code page 932 lacks become '?'.
std::string Utf8ToCp932(std::string_view utf8);

} // namespace mail
