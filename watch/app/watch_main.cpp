// larkbellwatch: watches IMAP folders and hands new mail to the notifier.
// Without arguments it runs; --stop and --autostart on|off act and exit,
// saying in one line to the console they were started from what they did.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "watch/app/starter_console.h"
#include "watch/app/watch_instance.h"
#include "watch/app/watcher.h"
#include "watch/core/command_line.h"
#include "watch/shell/autostart.h"
#include "watch/shell/watch_log.h"
#include "win32/module_path.h"

namespace {

const char kSelf[] = "larkbellwatch";

std::string LogPath() { return win32::ModuleSiblingPath("log"); }

// The line goes to the log as well as to the console.
int Finish(int code, const std::string& line)
{
    mail::WatchLog(LogPath()).Write(kSelf, line);
    mail::SayToStarter(std::string(kSelf) + ": " + line, code != 0);
    return code;
}

int Stop()
{
    switch (mail::RequestStop()) {
    case mail::StopOutcome::Stopped:
        return Finish(0, "--stop: the watcher has ended");
    case mail::StopOutcome::NoneRunning:
        return Finish(1, "--stop: no watcher is running");
    case mail::StopOutcome::DidNotStop:
        break;
    }
    char line[96];
    snprintf(line, sizeof line, "--stop: the watcher did not end within %lu s",
        static_cast<unsigned long>(mail::kStopWaitMs / 1000));
    return Finish(2, line);
}

int Autostart(bool on)
{
    std::string why;
    if (!mail::SetAutostart(on, win32::ModulePath(), &why))
        return Finish(1, "--autostart: " + why);
    return Finish(0,
        on ? std::string("autostart on: starts at sign-in (HKCU\\") + mail::kRunKey + ", value " + mail::kAutostartValue
                + ")"
           : "autostart off: no longer starts at sign-in");
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    switch (mail::ParseWatchArguments(__argc, __argv)) {
    case mail::WatchAction::Run:
        return mail::RunWatcher();
    case mail::WatchAction::Stop:
        return Stop();
    case mail::WatchAction::AutostartOn:
        return Autostart(true);
    case mail::WatchAction::AutostartOff:
        return Autostart(false);
    case mail::WatchAction::Usage:
        break;
    }
    return Finish(2, "usage: larkbellwatch [--stop | --autostart on|off]");
}
