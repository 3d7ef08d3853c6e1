// larkbellwatch: watches IMAP folders and hands new mail to the notifier.
// Without arguments it runs; --stop and --autostart on|off act and exit.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "autostart.h"
#include "watch_instance.h"
#include "watch_log.h"
#include "watcher.h"
#include "win32/module_path.h"

namespace {

std::string LogPath() { return win32::ModuleSiblingPath("log"); }

int Stop()
{
    mail::WatchLog log(LogPath());
    switch (mail::RequestStop()) {
    case mail::StopOutcome::Stopped:
        return 0;
    case mail::StopOutcome::NoneRunning:
        log.Write("larkbellwatch", "--stop: no watcher is running");
        return 1;
    case mail::StopOutcome::DidNotStop:
        break;
    }
    log.Write("larkbellwatch", "--stop: the watcher did not end in time");
    return 2;
}

int Autostart(bool on)
{
    mail::WatchLog log(LogPath());
    std::string why;
    if (!mail::SetAutostart(on, win32::ModulePath(), &why)) {
        log.Write("larkbellwatch", "--autostart: " + why);
        return 1;
    }
    log.Write("larkbellwatch", on ? "autostart on" : "autostart off");
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc == 1)
        return mail::RunWatcher();
    if (__argc == 2 && strcmp(__argv[1], "--stop") == 0)
        return Stop();
    if (__argc == 3 && strcmp(__argv[1], "--autostart") == 0) {
        if (strcmp(__argv[2], "on") == 0 || strcmp(__argv[2], "off") == 0)
            return Autostart(strcmp(__argv[2], "on") == 0);
    }
    mail::WatchLog(LogPath()).Write("larkbellwatch", "usage: larkbellwatch [--stop | --autostart on|off]");
    return 2;
}
