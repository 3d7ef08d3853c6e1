#include "watch/app/watcher.h"

#include <windows.h>

#include <utility>

#include "counter/counter.h"
#include "preview/recent_section.h"
#include "watch/app/settings_file_watch.h"
#include "watch/app/starter_console.h"
#include "watch/app/tray_window.h"
#include "watch/app/watch_instance.h"
#include "watch/app/watched_accounts.h"
#include "watch/shell/new_mail_pause.h"
#include "watch/shell/state_store.h"
#include "watch/shell/status_board.h"
#include "watch/shell/system_events_window.h"
#include "watch/shell/watch_log.h"
#include "watch/shell/watch_settings.h"
#include "win32/module_path.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";
    // A settings file is read again once it has been left alone this long:
    // an editor or the profile API may write it in several steps.
    constexpr ULONGLONG kSettleMs = 500;
    // Where the system gives no change notification.
    constexpr DWORD kPollMs = 5000;

    // Dispatches messages (the power broadcasts) until the stop event is set,
    // calls `reread` once a changed settings file has settled and `pause`
    // with the time a larkbellctl pause asks for.
    template <class Reread, class Pause>
    void WaitForStop(HANDLE stop, SettingsFileWatch& file, Reread reread, Pause pause)
    {
        const UINT pause_message = PauseMessage();
        const HANDLE handles[] = { stop, file.event() };
        const DWORD count = handles[1] ? 2 : 1;
        ULONGLONG settled = 0; // when a seen change is read; 0: none waits
        for (;;) {
            const ULONGLONG now = ::GetTickCount64();
            const DWORD timeout = settled ? static_cast<DWORD>(settled > now ? settled - now : 0)
                : count == 2              ? INFINITE
                                          : kPollMs;
            const DWORD wait = ::MsgWaitForMultipleObjects(count, handles, FALSE, timeout, QS_ALLINPUT);
            if (wait == WAIT_TIMEOUT && settled) {
                settled = 0;
                reread();
            } else if (wait == WAIT_TIMEOUT || (count == 2 && wait == WAIT_OBJECT_0 + 1)) {
                if (file.Changed())
                    settled = ::GetTickCount64() + kSettleMs;
            } else if (wait != WAIT_OBJECT_0 + count) {
                return;
            }
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    return;
                if (pause_message && message.message == pause_message) {
                    pause(static_cast<int64_t>(message.wParam));
                    continue;
                }
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
    }

} // namespace

int RunWatcher()
{
    WatchLog log(win32::ModuleSiblingPath("log"));
    const InstanceHold instance;
    if (!instance.held()) {
        log.Write(kSelf, "another watcher is running; this one ends");
        SayToStarter("larkbellwatch: another watcher is running; this one ends", true);
        return 1;
    }
    // Counts added here directly (when the notifier cannot start) must
    // outlive the call until a notifier shows them.
    HoldCounterSection();
    const std::string ini = win32::ModuleSiblingPath("ini");
    SettingsFileWatch file(ini);
    StateStore store(win32::ModuleSiblingPath("state"), log);
    store.Load();
    // Held for the watcher's life, so the list outlives a popup that closes.
    const preview::RecentSection recent(true);
    if (!recent.valid())
        log.Write(kSelf, "the list of senders for the popup cannot be made; no sender is shown");
    StatusBoard board(win32::ModuleSiblingPath("status"));
    WatchedAccounts accounts(log, store, recent.valid() ? &recent : nullptr, &board);
    const WatchSettings settings = ReadWatchSettings(ini);
    accounts.Apply(settings);
    {
        // The icon follows [setting] icon, also when it changes while running.
        std::unique_ptr<TrayWindow> tray;
        const auto follow_icon = [&](bool wanted) {
            if (!wanted) {
                tray.reset();
            } else if (!tray) {
                tray = std::make_unique<TrayWindow>(board, accounts, log, instance.stop_event());
                if (!tray->created())
                    log.Write(kSelf, "no window for the notification-area icon: running without it");
            }
        };
        follow_icon(settings.icon);
        SystemEvents events;
        events.resumed = [&] {
            log.Write(kSelf, "resumed from sleep: reconnecting at once");
            accounts.CheckNow();
        };
        events.network_changed = [&] {
            log.Write(kSelf, "the network changed: reconnecting at once");
            accounts.CheckNow();
        };
        // Everything is done before this returns: Windows may end the process
        // right after, without another message.
        events.session_ending = [&] {
            log.Write(kSelf, "the session ends: logging out");
            const bool ended = accounts.StopAll();
            log.Write(kSelf, ended ? "logged out" : "logged out (a connection did not end in time)");
            ::SetEvent(instance.stop_event());
        };
        const SystemEventsWindow window(std::move(events));
        if (!window.created())
            log.Write(kSelf,
                "no window for system events: a resume, a network change or the session's end is "
                "not noticed");
        else if (!window.hears_network())
            log.Write(kSelf, "the system gives no network change notice: only a resume reconnects at once");
        WaitForStop(
            instance.stop_event(), file,
            [&] {
                log.Write(kSelf, "the settings file changed: reading it again");
                const WatchSettings changed = ReadWatchSettings(ini);
                accounts.Apply(changed);
                follow_icon(changed.icon);
            },
            [&](int64_t until) { accounts.PauseUntil(LimitPause(until)); });
    }
    ::SetEvent(instance.stop_event()); // also when the message loop ended by itself
    if (!accounts.StopAll()) {
        // A thread still runs and uses what this frame owns: end the process
        // here instead of unwinding under it.
        log.Write(kSelf, "stopped (a connection did not log out in time)");
        ::ExitProcess(0);
    }
    log.Write(kSelf, "stopped");
    return 0;
}

} // namespace mail
