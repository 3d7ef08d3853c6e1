// The accounts being watched, each with a stop event of its own, so that a
// changed settings file restarts only the accounts whose section changed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "preview/recent_section.h"
#include "watch/shell/mailbox_watch.h"
#include "watch/shell/new_mail_pause.h"
#include "watch/shell/status_board.h"
#include "watch/shell/watch_settings.h"
#include "win32/handles.h"

namespace mail {

class WatchedAccounts {
public:
    // `recent`: where the senders and subjects go while [preview] show is on;
    // `status`: where every folder tells how it is. Either may be null.
    WatchedAccounts(
        WatchLog& log, StateStore& store, const preview::RecentSection* recent, StatusBoard* status = nullptr);
    WatchedAccounts(const WatchedAccounts&) = delete;
    WatchedAccounts& operator=(const WatchedAccounts&) = delete;
    ~WatchedAccounts();

    // Makes `settings` what runs: the first call starts every account; later
    // ones end, restart or start only what differs, and say so in the log.
    void Apply(const WatchSettings& settings);

    void WakeAll();

    // Until `unix_s` new mail is counted and saved but not handed to the
    // notifier; then, or at once with 0, what came meanwhile goes in one start.
    void PauseUntil(int64_t unix_s);

    // [setting] alertafter: how long a folder may fail before a balloon says so.
    int64_t AlertAfterSeconds() const { return static_cast<int64_t>(m_settings.alert_after_min) * 60; }

    // Ends every account; false when a thread did not end in time (it still
    // uses this object, so the caller must end the process).
    bool StopAll();

private:
    struct Account;

    std::unique_ptr<Account> Start(const AccountEntry& entry);
    // An account whose thread outlives the wait is kept aside until the end.
    void End(std::unique_ptr<Account> account);
    void EndAll();

    WatchLog& m_log;
    StateStore& m_store;
    const preview::RecentSection* m_recent;
    StatusBoard* m_status;
    NewMailPause m_pause; // outlives the accounts' threads, which count through it
    WatchSettings m_settings; // the global part of what runs
    bool m_applied = false;
    bool m_severalAccounts = false; // the popup then names each message's account
    std::vector<std::unique_ptr<Account>> m_accounts;
    std::vector<std::unique_ptr<Account>> m_lingering; // stopped, a thread not yet ended
};

} // namespace mail
