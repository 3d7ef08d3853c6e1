#include "watcher.h"

#include <windows.h>

#include <stdio.h>

#include "counter.h"
#include "module_path.h"
#include "resume_window.h"
#include "watch_instance.h"
#include "watch_log.h"
#include "watch_settings.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";

    std::string SiblingPath(const char* extension)
    {
        char path[MAX_PATH];
        ModuleSiblingPath(extension, path, sizeof path);
        return path;
    }

    // Dispatches messages (the power broadcasts) until the stop event is set;
    // nothing polls.
    void WaitForStop(HANDLE stop)
    {
        for (;;) {
            const DWORD wait = ::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
            if (wait != WAIT_OBJECT_0 + 1)
                return;
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    return;
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
    }

} // namespace

int RunWatcher()
{
    WatchLog log(SiblingPath("log"));
    const InstanceHold instance;
    if (!instance.held()) {
        log.Write(kSelf, "another watcher is running; this one ends");
        return 1;
    }
    // Counts added here directly (when the notifier cannot start) must
    // outlive the call until a notifier shows them.
    HoldCounterSection();
    const WatchSettings settings = ReadWatchSettings(SiblingPath("ini"));
    char text[128];
    snprintf(text, sizeof text, "started with %u account(s)", static_cast<unsigned>(settings.accounts.size()));
    log.Write(kSelf, text);
    {
        const ResumeWindow window([&log] { log.Write(kSelf, "resumed from sleep: reconnecting at once"); });
        if (!window.created())
            log.Write(kSelf, "no window for power broadcasts: a resume from sleep is not noticed");
        WaitForStop(instance.stop_event());
    }
    log.Write(kSelf, "stopped");
    return 0;
}

} // namespace mail
