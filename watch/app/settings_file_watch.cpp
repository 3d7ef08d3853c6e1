#include "watch/app/settings_file_watch.h"

namespace mail {

SettingsFileWatch::SettingsFileWatch(std::string path)
    : m_path(std::move(path))
{
    const size_t slash = m_path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : m_path.substr(0, slash);
    m_change = ::FindFirstChangeNotificationA(
        folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
    m_seen = Take();
}

SettingsFileWatch::~SettingsFileWatch()
{
    if (m_change != INVALID_HANDLE_VALUE)
        ::FindCloseChangeNotification(m_change);
}

SettingsFileWatch::Stamp SettingsFileWatch::Take() const
{
    Stamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExA(m_path.c_str(), GetFileExInfoStandard, &data)) {
        stamp.written = data.ftLastWriteTime;
        stamp.size = data.nFileSizeLow;
        stamp.exists = true;
    }
    return stamp;
}

bool SettingsFileWatch::Changed()
{
    if (m_change != INVALID_HANDLE_VALUE)
        ::FindNextChangeNotification(m_change);
    const Stamp now = Take();
    const bool changed
        = now.exists != m_seen.exists || now.size != m_seen.size || CompareFileTime(&now.written, &m_seen.written) != 0;
    m_seen = now;
    return changed;
}

} // namespace mail
