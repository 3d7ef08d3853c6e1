#include "watch/shell/watch_settings.h"

#include <windows.h>

#include <string.h>

#include "watch/core/token_file.h"

namespace mail {

namespace {

    const char kGlobalSection[] = "setting";

    // The profile functions cut longer values without saying so, and a value
    // that fills the buffer may have been cut; a DPAPI blob in base64 stays
    // well under this.
    constexpr DWORD kValueBuffer = kMaxSettingValue + 2;
    constexpr DWORD kMaxSectionNames = 1024 * 1024;

    std::string ReadString(
        const std::string& section, const char* key, const char* fallback, const std::string& path, bool* cut = nullptr)
    {
        std::string value(kValueBuffer, '\0');
        const DWORD size
            = ::GetPrivateProfileStringA(section.c_str(), key, fallback, &value[0], kValueBuffer, path.c_str());
        value.resize(size);
        if (cut)
            *cut = size > kMaxSettingValue;
        return value;
    }

    int ReadSeconds(const char* key, int fallback, const std::string& path)
    {
        const int value = static_cast<int>(::GetPrivateProfileIntA(kGlobalSection, key, fallback, path.c_str()));
        return value > 0 ? value : fallback;
    }

    // Every section name, in file order.
    std::vector<std::string> SectionNames(const std::string& path)
    {
        std::string names;
        for (DWORD size = 4096; size <= kMaxSectionNames; size *= 4) {
            names.assign(size, '\0');
            const DWORD used = ::GetPrivateProfileSectionNamesA(&names[0], size, path.c_str());
            names.resize(used);
            if (used < size - 2)
                break;
            if (size * 4 > kMaxSectionNames) // still cut: the last name is not whole
                names.resize(names.rfind('\0') + 1);
        }
        std::vector<std::string> list;
        for (size_t start = 0; start < names.size();) {
            const size_t end = names.find('\0', start);
            const size_t stop = end == std::string::npos ? names.size() : end;
            if (stop > start)
                list.push_back(names.substr(start, stop - start));
            start = stop + 1;
        }
        return list;
    }

    AccountEntry ReadKeys(const std::string& path, const std::string& name)
    {
        const std::string section = kAccountPrefix + name;
        AccountEntry entry;
        entry.name = name;
        for (const AccountKey& key : kAccountKeys) {
            bool cut = false;
            entry.*key.value = ReadString(section, key.name, "", path, &cut);
            if (cut && entry.too_long.empty())
                entry.too_long = key.name;
        }
        const size_t slash = path.find_last_of("\\/");
        entry.token_path
            = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + TokenFileName(name);
        return entry;
    }

} // namespace

bool ReadAccountEntry(const std::string& path, const std::string& name, AccountEntry* entry)
{
    const std::string section = kAccountPrefix + name;
    for (const std::string& existing : SectionNames(path)) {
        if (_stricmp(existing.c_str(), section.c_str()) == 0) {
            *entry = ReadKeys(path, name);
            return true;
        }
    }
    return false;
}

WatchSettings ReadWatchSettings(const std::string& path)
{
    WatchSettings settings;
    settings.notifier = ReadString(kGlobalSection, kNotifierKey, "larkbell.exe", path);
    settings.keepalive_s = ReadSeconds(kKeepaliveKey, 300, path);
    settings.timeout_s = ReadSeconds(kTimeoutKey, 30, path);
    settings.icon = ::GetPrivateProfileIntA(kGlobalSection, kIconKey, 1, path.c_str()) != 0;
    settings.alert_after_min = ParseAlertAfterMinutes(ReadString(kGlobalSection, kAlertAfterKey, "", path));
    settings.preview = ::GetPrivateProfileIntA(kPreviewSection, kPreviewShowKey, 1, path.c_str()) != 0;
    const size_t prefix = strlen(kAccountPrefix);
    for (const std::string& section : SectionNames(path)) {
        if (section.size() <= prefix || _strnicmp(section.c_str(), kAccountPrefix, prefix) != 0)
            continue;
        settings.accounts.push_back(ReadKeys(path, section.substr(prefix)));
    }
    return settings;
}

} // namespace mail
