// larkbellctl recent: the list the popup's panel shows, newest first, one
// message a line: local time, account, sender, subject, separated by tabs.
// UTF-8 into a file or pipe; the console's code page on a console.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "counter/counter.h"
#include "preview/recent_section.h"
#include "tools/ctl_watch.h"
#include "watch/core/recent_list.h"

namespace {

std::string LocalTimeText(int64_t utc_seconds)
{
    const uint64_t ticks = (static_cast<uint64_t>(utc_seconds) + 11644473600ull) * 10000000ull;
    FILETIME utc = { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    FILETIME local;
    SYSTEMTIME when;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &when))
        return "-";
    char text[32];
    snprintf(
        text, sizeof text, "%04u-%02u-%02u %02u:%02u", when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute);
    return text;
}

// A console takes its own code page; characters it lacks become '?'.
void Print(const std::string& utf8)
{
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    std::string bytes = utf8;
    if (::GetFileType(output) == FILE_TYPE_CHAR && ::GetConsoleMode(output, &mode) && !utf8.empty()) {
        const int length = static_cast<int>(utf8.size());
        const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
        std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
        if (size > 0)
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], size);
        const UINT code_page = ::GetConsoleOutputCP();
        const int converted = ::WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
        bytes.assign(static_cast<size_t>(converted > 0 ? converted : 0), '\0');
        if (converted > 0)
            ::WideCharToMultiByte(code_page, 0, wide.data(), size, &bytes[0], converted, nullptr, nullptr);
    }
    fwrite(bytes.data(), 1, bytes.size(), stdout);
}

} // namespace

int RunRecentCommand()
{
    const preview::RecentSection section(false);
    std::string payload;
    mail::RecentList list;
    if (section.valid() && (!section.Read(&payload) || !mail::DecodeRecentList(payload, &list))) {
        fputs("larkbellctl: the list of recent messages cannot be read\n", stderr);
        return 1;
    }
    std::string text;
    for (const mail::RecentMessage& message : list.messages)
        text += LocalTimeText(message.time) + '\t' + message.account + '\t' + message.sender + '\t' + message.subject
            + '\n';
    const mail::PanelExtent extent
        = mail::PanelLines(list.messages.size(), static_cast<int>(mail::kRecentKept), ReadMailCount());
    if (extent.more > 0)
        text += "\xE2\x80\xA6 and " + std::to_string(extent.more) + " more\n";
    Print(text);
    fflush(stdout);
    return 0;
}
