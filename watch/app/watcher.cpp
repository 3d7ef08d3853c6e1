#include "watcher.h"

#include <windows.h>

#include <stdio.h>

#include <memory>
#include <vector>

#include "account_config.h"
#include "counter.h"
#include "mailbox_watch.h"
#include "module_path.h"
#include "resume_window.h"
#include "state_store.h"
#include "watch_instance.h"
#include "watch_log.h"
#include "watch_settings.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";
    // Every connection has logged out by then, or the process ends without it.
    constexpr DWORD kJoinMs = 1800;

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

    // Accounts that pass the checks; each refused one gets one log line.
    std::vector<AccountConfig> UsableAccounts(const WatchSettings& settings, WatchLog& log)
    {
        std::vector<AccountConfig> accounts;
        for (const AccountEntry& entry : settings.accounts) {
            AccountConfig config;
            std::string why;
            if (MakeAccountConfig(entry, &config, &why))
                accounts.push_back(std::move(config));
            else
                log.Write(config.display, why);
        }
        return accounts;
    }

    MailTimings TimingsFrom(const WatchSettings& settings)
    {
        MailTimings timings;
        timings.keepalive_ms = static_cast<int64_t>(settings.keepalive_s) * 1000;
        timings.response_timeout_ms = static_cast<int64_t>(settings.timeout_s) * 1000;
        return timings;
    }

    void StartAll(std::vector<std::unique_ptr<MailboxWatch>>* watches, WatchLog& log)
    {
        for (auto watch = watches->begin(); watch != watches->end();) {
            if ((*watch)->Start()) {
                ++watch;
                continue;
            }
            log.Write((*watch)->where(), "cannot start a thread for this folder");
            watch = watches->erase(watch);
        }
    }

    // True when every thread ended within the time left.
    bool JoinAll(const std::vector<std::unique_ptr<MailboxWatch>>& watches)
    {
        const ULONGLONG deadline = ::GetTickCount64() + kJoinMs;
        for (const auto& watch : watches) {
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            if (::WaitForSingleObject(watch->thread(), left) != WAIT_OBJECT_0)
                return false;
        }
        return true;
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
    const std::vector<AccountConfig> accounts = UsableAccounts(settings, log);
    StateStore store(SiblingPath("state"), log);
    store.Load();
    char notifier[MAX_PATH];
    ModuleFolderPath(settings.notifier.c_str(), notifier, sizeof notifier);
    WatchContext context { log, store, notifier, TimingsFrom(settings), instance.stop_event() };

    std::vector<std::unique_ptr<MailboxWatch>> watches;
    for (const AccountConfig& account : accounts) {
        for (const WatchedFolder& folder : account.folders)
            watches.push_back(std::make_unique<MailboxWatch>(account, folder, context));
    }
    char text[128];
    snprintf(text, sizeof text, "started: %u account(s), %u folder(s) watched", static_cast<unsigned>(accounts.size()),
        static_cast<unsigned>(watches.size()));
    log.Write(kSelf, text);
    StartAll(&watches, log);
    {
        const ResumeWindow window([&log, &watches] {
            log.Write(kSelf, "resumed from sleep: reconnecting at once");
            for (const auto& watch : watches)
                watch->Wake();
        });
        if (!window.created())
            log.Write(kSelf, "no window for power broadcasts: a resume from sleep is not noticed");
        WaitForStop(instance.stop_event());
    }
    ::SetEvent(instance.stop_event()); // also when the message loop ended by itself
    for (const auto& watch : watches)
        watch->Wake();
    if (!JoinAll(watches)) {
        // A thread still runs and uses what this frame owns: end the process
        // here instead of unwinding under it.
        log.Write(kSelf, "stopped (a connection did not log out in time)");
        ::ExitProcess(0);
    }
    log.Write(kSelf, "stopped");
    return 0;
}

} // namespace mail
