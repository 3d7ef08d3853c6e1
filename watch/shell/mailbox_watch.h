// The thread that watches one IMAP folder or POP3 mailbox for the watcher's whole
// life: connect, watch, and after any end wait out the back-off and start over.
#pragma once

#include <windows.h>

#include <string>

#include "preview/recent_section.h"
#include "watch/core/session_contract.h"
#include "watch/core/watch_status.h"
#include "watch/shell/account_config.h"
#include "watch/shell/login_credentials.h"
#include "watch/shell/mail_connection.h"
#include "watch/shell/new_mail_pause.h"
#include "watch/shell/state_store.h"
#include "watch/shell/status_board.h"
#include "watch/shell/watch_log.h"
#include "win32/handles.h"

namespace mail {

// Shared by every connection thread; outlives them.
struct WatchContext {
    WatchLog& log;
    StateStore& store;
    std::string notifier_path;
    MailTimings timings; // poll_ms is set per account
    HANDLE stop = nullptr; // manual-reset: the watcher ends
    // Where the new messages' senders and subjects go; null: none is fetched.
    const preview::RecentSection* recent = nullptr;
    bool several_accounts = false; // the popup then names each message's account
    NewMailPause* pause = nullptr; // every count goes through it
    StatusBoard* status = nullptr; // where each folder says how it is; may be null
};

class MailboxWatch {
public:
    MailboxWatch(const AccountConfig& account, const WatchedFolder& folder, WatchContext& context);
    MailboxWatch(const MailboxWatch&) = delete;
    MailboxWatch& operator=(const MailboxWatch&) = delete;

    bool Start();
    // Ends a wait or a connection so that it connects again at once (after a
    // resume from sleep), or notices the stop event.
    void Wake() { ::SetEvent(m_wake.get()); }
    HANDLE thread() const { return m_thread.get(); }
    const std::string& where() const { return m_where; }

private:
    // How one connection ended, for the back-off.
    struct Attempt {
        bool stopped = false;
        bool woken = false;
        bool worked = false; // got as far as watching: the back-off starts over
        bool login_refused = false; // or the folder is missing: wait long
        bool token_refused = false; // a fresh token may still be let in
        bool polled = false; // a POP3 poll went through: the next one after `poll` seconds
        bool new_mail = false; // it counted some
        bool sign_in_again = false; // oauth: wait for larkbellctl login
        bool log_it = true; // false when the same thing was logged before
        std::string why; // for the log line
        WatchPhase phase = WatchPhase::Retrying; // what the status says while it waits
        std::string fingerprint; // of a refused certificate
    };

    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    Attempt ConnectOnce(TokenUse* token);
    Attempt PollOnce();
    enum class Waited { Stop, Elapsed, Woken };
    Waited WaitBeforeReconnect(int64_t delay_ms);
    static void CertificateRefused(const ConnectionEnd& end, Attempt* attempt);
    // The folder's state to the status board (without a board, nothing).
    void Report(
        WatchPhase phase, const std::string& why = {}, int64_t retry_at = 0, const std::string& fingerprint = {});
    // A check that worked: said when the phase changes, new mail came, or
    // the last one said is old; not after every keep-alive.
    void ReportWatching(WatchPhase phase, bool new_mail);

    const AccountConfig& m_account;
    const WatchedFolder& m_folder;
    WatchContext& m_context;
    std::string m_where; // "account/folder" for the log
    win32::UniqueHandle m_wake; // auto-reset
    win32::UniqueHandle m_thread;
    WatchPhase m_reported = WatchPhase::Connecting; // the last phase the board was told
    int64_t m_okReported = 0; // when a check that worked was last told
};

} // namespace mail
