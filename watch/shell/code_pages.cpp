#include "watch/shell/code_pages.h"

#include <windows.h>

namespace mail {

bool WideToUtf8(std::wstring_view wide, std::string* utf8)
{
    utf8->clear();
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    utf8->resize(static_cast<size_t>(size));
    return ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &(*utf8)[0], size, nullptr, nullptr) == size;
}

bool Cp932ToUtf8(std::string_view cp932, std::string* utf8)
{
    utf8->clear();
    if (cp932.empty())
        return true;
    const int length = static_cast<int>(cp932.size());
    const int size = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), length, nullptr, 0);
    if (size <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), length, &wide[0], size) != size)
        return false;
    return WideToUtf8(wide, utf8);
}

std::string Cp932ToUtf8Text(std::string_view cp932)
{
    if (cp932.empty())
        return {};
    const int length = static_cast<int>(cp932.size());
    const int size = ::MultiByteToWideChar(932, 0, cp932.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    std::string utf8;
    if (size <= 0 || ::MultiByteToWideChar(932, 0, cp932.data(), length, &wide[0], size) != size
        || !WideToUtf8(wide, &utf8))
        return std::string(cp932);
    return utf8;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int length = static_cast<int>(utf8.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], size);
    const int bytes = ::WideCharToMultiByte(932, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string text(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(932, 0, wide.data(), size, &text[0], bytes, nullptr, nullptr);
    return text;
}

} // namespace mail
