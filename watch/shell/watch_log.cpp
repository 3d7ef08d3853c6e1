#include "watch/shell/watch_log.h"

#include <stdio.h>

#include <utility>

#include "watch/shell/code_pages.h"
#include "win32/handles.h"

namespace mail {

namespace {

    // A line is for a person to read; anything longer is cut.
    constexpr size_t kMaxPart = 2000;

    void AppendSanitised(std::string* line, std::string_view utf8)
    {
        const bool cut = utf8.size() > kMaxPart;
        size_t end = cut ? kMaxPart : utf8.size();
        while (cut && end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end; // a character the cut would split goes whole, not as a '?'
        // No byte of a double-byte character is below 0x40.
        for (const char byte : Utf8ToCp932(utf8.substr(0, end))) {
            const unsigned char c = static_cast<unsigned char>(byte);
            *line += c < 0x20 || c == 0x7F ? '?' : byte;
        }
        if (cut)
            *line += "...";
    }

    win32::UniqueFile OpenForAppend(const std::string& path)
    {
        return win32::UniqueFile(
            ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

} // namespace

WatchLog::WatchLog(std::string path, uint64_t limit)
    : m_path(std::move(path))
    , m_limit(limit)
{
}

void WatchLog::Write(std::string_view where, std::string_view text)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u [", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond);
    std::string line = stamp;
    AppendSanitised(&line, where);
    line += "] ";
    AppendSanitised(&line, text);
    line += "\r\n";
    const win32::SectionHold hold(m_lock);
    AppendLocked(line);
}

void WatchLog::AppendLocked(const std::string& line)
{
    win32::UniqueFile file = OpenForAppend(m_path);
    if (!file)
        return;
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(file.get(), &size) && static_cast<uint64_t>(size.QuadPart) + line.size() > m_limit
        && size.QuadPart > 0) {
        // The previous rotation is dropped; the file in use is opened with
        // delete sharing, so readers do not block the rename.
        file.reset();
        const std::string old = m_path + ".1";
        ::MoveFileExA(m_path.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING);
        file = OpenForAppend(m_path);
        if (!file)
            return;
    }
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace mail
