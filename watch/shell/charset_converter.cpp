#include "watch/shell/charset_converter.h"

#include <windows.h>

#include "watch/shell/code_pages.h"

namespace mail {

// Strict: bytes not valid in the code page fail, and the decoder then shows
// the word as it came.
bool WindowsCharsetConverter::ToUtf8(unsigned code_page, std::string_view bytes, std::string* utf8) const
{
    utf8->clear();
    if (bytes.empty())
        return true;
    if (bytes.size() > 64 * 1024 || !::IsValidCodePage(code_page))
        return false;
    const int length = static_cast<int>(bytes.size());
    const int size = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, &wide[0], size) != size)
        return false;
    return WideToUtf8(wide, utf8);
}

} // namespace mail
