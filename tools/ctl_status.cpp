// larkbellctl status and pause: what the running watcher says of each
// folder, read from its status file; and new-mail popups paused or resumed.
// Whether a watcher runs is its instance mutex's word, never the file's.
#include <windows.h>

#include <stdio.h>

#include "tools/ctl_watch.h"
#include "watch/app/watch_instance.h"
#include "watch/core/watch_status.h"
#include "watch/shell/new_mail_pause.h"
#include "watch/shell/status_board.h"
#include "watch/shell/whole_file.h"
#include "win32/module_path.h"

namespace {

constexpr int kNoWatcher = 4;
// How long pause waits for the watcher to say it took the request.
constexpr ULONGLONG kPauseAnswerMs = 5000;

bool ReadStatus(mail::WatchStatus* status)
{
    std::string text;
    return mail::ReadWholeFile(win32::ModuleFolderPath("larkbellwatch.status"), mail::kStatusFileMaxBytes, &text)
        == mail::ReadOutcome::Read
        && mail::ParseStatusFile(text, status);
}

int NoWatcher()
{
    fputs("larkbellctl: no watcher is running\n", stderr);
    return kNoWatcher;
}

} // namespace

int RunStatusCommand()
{
    if (!mail::WatcherRunning())
        return NoWatcher();
    mail::WatchStatus status;
    if (!ReadStatus(&status)) {
        fputs("larkbellctl: the watcher runs, but its status file larkbellwatch.status cannot be read\n", stderr);
        return 1;
    }
    // Code page 932 bytes, as a Japanese console shows them.
    for (const std::string& line : mail::StatusLines(status, mail::LocalStatusView()))
        printf("%s\n", line.c_str());
    return mail::StatusExitCode(status);
}

int RunPauseCommand(const char* minutes_text)
{
    int minutes = 0;
    if (!mail::ParsePauseMinutes(minutes_text, &minutes)) {
        fprintf(stderr, "larkbellctl: pause takes minutes (1 to %d) or off, not %s\n", mail::kMaxPauseMinutes,
            minutes_text);
        return 2;
    }
    if (!mail::WatcherRunning())
        return NoWatcher();
    const int64_t until = minutes ? mail::UnixNow() + static_cast<int64_t>(minutes) * 60 : 0;
    if (!mail::PostPauseRequest(until)) {
        fputs("larkbellctl: the watcher's window cannot be reached\n", stderr);
        return 1;
    }
    // Done when the watcher's status file says so.
    const ULONGLONG deadline = ::GetTickCount64() + kPauseAnswerMs;
    mail::WatchStatus status;
    while (!ReadStatus(&status) || status.paused_until != until) {
        if (::GetTickCount64() >= deadline) {
            fputs("larkbellctl: the watcher did not take the request\n", stderr);
            return 1;
        }
        ::Sleep(50);
    }
    const std::string paused = mail::PausedText(status, mail::LocalStatusView());
    printf("%s\n", paused.empty() ? "new-mail popups resumed" : paused.c_str());
    return 0;
}
