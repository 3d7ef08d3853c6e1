// Notices that the settings file was written: a change notification on its
// folder, and the file's time and size to tell its writes from the log's.
#pragma once

#include <windows.h>

#include <string>

namespace mail {

class SettingsFileWatch {
public:
    explicit SettingsFileWatch(std::string path);
    SettingsFileWatch(const SettingsFileWatch&) = delete;
    SettingsFileWatch& operator=(const SettingsFileWatch&) = delete;
    ~SettingsFileWatch();

    // Signalled when something in the folder changed; null when the system
    // gives no notification (then Changed() is asked at every poll).
    HANDLE event() const { return m_change == INVALID_HANDLE_VALUE ? nullptr : m_change; }

    // Re-arms the notification; true when the file is not as last seen.
    bool Changed();

private:
    struct Stamp {
        FILETIME written = {};
        DWORD size = 0;
        bool exists = false;
    };
    Stamp Take() const;

    std::string m_path;
    HANDLE m_change = INVALID_HANDLE_VALUE; // closed with FindCloseChangeNotification
    Stamp m_seen;
};

} // namespace mail
