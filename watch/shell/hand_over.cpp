#include "watch/shell/hand_over.h"

#include <windows.h>

#include <stdio.h>

#include "counter/counter.h"
#include "watch/shell/code_pages.h"
#include "win32/handles.h"

namespace mail {

namespace {

    // Starts the notifier without waiting for it: the first one stays as the
    // popup. Its handles are closed at once.
    bool StartNotifier(const std::string& path, int32_t count, std::string* why)
    {
        char number[16];
        snprintf(number, sizeof number, "%ld", static_cast<long>(count));
        std::string command_line = "\"" + path + "\" " + number;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessA(
                path.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            char text[64];
            snprintf(text, sizeof text, " cannot be started (error %lu)", ::GetLastError());
            *why = path + text;
            return false;
        }
        const win32::UniqueHandle process_handle(process.hProcess);
        const win32::UniqueHandle thread_handle(process.hThread);
        return true;
    }

    bool HandOverPart(int32_t count, const std::string& notifier_path, WatchLog& log, std::string_view where)
    {
        char text[512];
        std::string why;
        if (StartNotifier(notifier_path, count, &why)) {
            snprintf(text, sizeof text, "new messages: %ld, handed over to %s", static_cast<long>(count),
                notifier_path.c_str());
            log.Write(where, Cp932ToUtf8Text(text)); // the path is in the ANSI code page
            return true;
        }
        int32_t total = 0;
        if (AddToMailCount(count, &total)) {
            snprintf(text, sizeof text, "new messages: %ld, added to the count directly (now %ld): %s",
                static_cast<long>(count), static_cast<long>(total), why.c_str());
            log.Write(where, Cp932ToUtf8Text(text)); // the path is in the ANSI code page
            return true;
        }
        // Worded apart from "new messages: N", which the log shows once per counted batch.
        snprintf(text, sizeof text,
            "ERROR: %ld new message(s) NOT COUNTED: %s, and the count is locked or cannot be stored; "
            "they are counted after reconnecting",
            static_cast<long>(count), why.c_str());
        log.Write(where, Cp932ToUtf8Text(text)); // the path is in the ANSI code page
        return false;
    }

} // namespace

bool HandOver(uint32_t count, const std::string& notifier_path, WatchLog& log, std::string_view where)
{
    // The notifier takes a signed 32-bit number.
    while (count > 0) {
        const int32_t part = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
        if (!HandOverPart(part, notifier_path, log, where))
            return false;
        count -= static_cast<uint32_t>(part);
    }
    return true;
}

} // namespace mail
