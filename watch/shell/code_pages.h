// The settings are code page 932; the wire wants UTF-8 (and, for folder
// names, modified UTF-7 made from that).
#pragma once

#include <string>
#include <string_view>

namespace mail {

// False for bytes that are not valid in the code page.
bool Cp932ToUtf8(std::string_view cp932, std::string* utf8);
bool WideToUtf8(std::wstring_view wide, std::string* utf8);
// For texts to show: characters code page 932 lacks become '?', and bytes
// that are not valid in the source become a replacement character.
std::string Utf8ToCp932(std::string_view utf8);
std::string Cp932ToUtf8Text(std::string_view cp932);

} // namespace mail
