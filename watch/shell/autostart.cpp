#include "autostart.h"

#include <windows.h>

#include <stdio.h>

#include "unique_any.h"

namespace mail {

namespace {

    struct RegKeyTraits {
        using pointer = HKEY;
        static pointer invalid() noexcept { return nullptr; }
        static void close(pointer h) noexcept { ::RegCloseKey(h); }
    };
    using UniqueRegKey = fw::UniqueAny<RegKeyTraits>;

    std::string ErrorText(const char* what, LONG status)
    {
        char text[128];
        snprintf(text, sizeof text, "%s HKCU\\%s (error %ld)", what, kRunKey, status);
        return text;
    }

} // namespace

bool SetAutostart(bool on, const std::string& executable, std::string* why)
{
    HKEY opened = nullptr;
    LONG status
        = ::RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
    const UniqueRegKey key(opened);
    if (status != ERROR_SUCCESS) {
        *why = ErrorText("cannot open", status);
        return false;
    }
    if (on) {
        const std::string command = "\"" + executable + "\"";
        status = ::RegSetValueExA(key.get(), kAutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
            static_cast<DWORD>(command.size() + 1));
    } else {
        status = ::RegDeleteValueA(key.get(), kAutostartValue);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS) {
        *why = ErrorText(on ? "cannot write to" : "cannot delete from", status);
        return false;
    }
    return true;
}

} // namespace mail
