#include "watch/shell/autostart.h"

#include <windows.h>

#include "win32/error_text.h"
#include "win32/handles.h"

namespace mail {

namespace {

    const std::string kRunKeyName = std::string("HKCU\\") + kRunKey;

} // namespace

bool SetAutostart(bool on, const std::string& executable, std::string* why)
{
    win32::UniqueRegKey key;
    LONG status
        = ::RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        *why = win32::ErrorText("cannot open", kRunKeyName, status);
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
        *why = win32::ErrorText(on ? "cannot write to" : "cannot delete from", kRunKeyName, status);
        return false;
    }
    return true;
}

} // namespace mail
