#include "watch/shell/mailbox_watch.h"

#include <bcrypt.h>

#include <functional>

#include "counter/counter.h"
#include "watch/core/backoff.h"
#include "watch/core/header_text.h"
#include "watch/core/recent_list.h"
#include "watch/shell/charset_converter.h"
#include "watch/shell/code_pages.h"
#include "watch/shell/login_credentials.h"
#include "watch/shell/mail_connection.h"
#include "watch/shell/protected_secret.h"

namespace mail {

namespace {

    // A connection that lasted this long worked: the next failure starts the
    // back-off from the beginning again.
    constexpr int64_t kStableMs = 30 * 1000;

    // How often an account waiting for a new sign-in looks at its token file.
    constexpr int64_t kSignInLookMs = 2 * 1000;

    // A folder that goes on watching tells the status board its last good
    // check this often at most (the status file is written on each change).
    constexpr int64_t kOkReportS = 10 * 60;

    int64_t NowMs() { return static_cast<int64_t>(::GetTickCount64()); }

    bool IsSet(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

    // Spreads the reconnects of many watchers; from the system's random source.
    double Jitter()
    {
        uint64_t random = 0;
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(
                nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            random = ::GetTickCount64() * 0x9E3779B97F4A7C15ull;
        return static_cast<double>(random >> 11) / 9007199254740992.0; // 2^53
    }

    // `held`: new messages counted while popups are paused, in the same write.
    void Persist(StateStore& store, const WatchKey& key, const FolderState& state, uint32_t held = 0)
    {
        held ? store.PutHeld(key, state, held) : store.Put(key, state);
    }
    void Persist(StateStore& store, const WatchKey& key, const Pop3Seen& seen, uint32_t held = 0)
    {
        held ? store.PutPop3Held(key.first, seen, held) : store.PutPop3(key.first, seen);
    }

    std::string BaselineText(const FolderState& state)
    {
        return "baseline: counting starts after UID " + std::to_string(state.last_uid) + " (UIDVALIDITY "
            + std::to_string(state.uidvalidity) + ")";
    }

    // The POP3 session says itself when it starts counting; otherwise a
    // baseline there only forgets deleted messages.
    std::string BaselineText(const Pop3Seen&) { return {}; }

    // The session's results for one folder (or POP3 mailbox): new mail to the
    // notifier (or held while popups are paused), then the state to the
    // file, and every text to the log.
    template <class State> class WatchSink : public CountSink<State> {
    public:
        using Watching = std::function<void(bool idle, bool new_mail)>;

        WatchSink(WatchContext& context, WatchKey key, const std::string& where, const std::string& account,
            Watching watching = {})
            : m_context(context)
            , m_key(std::move(key))
            , m_where(where)
            , m_account(account)
            , m_watching(std::move(watching))
        {
        }

        bool OnCount(uint32_t count, const State& state) override
        {
            // A count back at 0 (dismissed, reset) starts the list afresh,
            // unless it lists messages held by a pause.
            if (m_context.recent && ReadMailCount() == 0 && !m_context.pause->holding())
                m_context.recent->Write({});
            if (!m_context.pause->Take(count, m_context.notifier_path, m_where,
                    [&](uint32_t held) { Persist(m_context.store, m_key, state, held); }))
                return false;
            m_worked = true;
            m_newMail = true;
            return true;
        }

        void OnWatching(bool idle) override
        {
            if (m_watching)
                m_watching(idle, m_newMail);
            m_newMail = false;
        }

        void OnBaseline(const State& state) override
        {
            Persist(m_context.store, m_key, state);
            m_worked = true;
            const std::string text = BaselineText(state);
            if (!text.empty())
                OnLog(text);
        }

        // After the count: a failure here loses names, never a count.
        void OnHeaders(const std::vector<std::string>& headers) override
        {
            if (!m_context.recent)
                return;
            std::vector<RecentMessage> batch;
            for (const std::string& header : headers) {
                const MessageSummary summary = SummarizeHeader(header, m_converter);
                batch.push_back({ summary.date.value_or(UnixNow()), m_account, summary.sender, summary.subject });
            }
            const size_t fetched = batch.size();
            const bool stored = m_context.recent->Update([&](const std::string& payload) {
                RecentList list;
                DecodeRecentList(payload, &list);
                list.several_accounts = m_context.several_accounts;
                AddNewest(&list, std::move(batch));
                return EncodeRecentList(list, preview::kRecentPayloadBytes);
            });
            OnLog(std::to_string(fetched)
                + (stored ? " sender(s) handed to the popup"
                          : " sender(s) NOT handed to the popup: the list is locked"));
        }

        void OnExamined(const std::string& text) override { OnLog(text); }
        void OnLog(const std::string& text) override { m_context.log.Write(m_where, text); }

        bool worked() const { return m_worked; }
        bool new_mail() const { return m_newMail; }

    private:
        WatchContext& m_context;
        WatchKey m_key;
        const std::string& m_where;
        const std::string& m_account;
        Watching m_watching;
        WindowsCharsetConverter m_converter;
        bool m_worked = false;
        bool m_newMail = false; // since the last OnWatching
    };

} // namespace

MailboxWatch::MailboxWatch(const AccountConfig& account, const WatchedFolder& folder, WatchContext& context)
    : m_account(account)
    , m_folder(folder)
    , m_context(context)
    , m_where(account.display + "/" + folder.display)
    , m_wake(::CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
}

bool MailboxWatch::Start()
{
    if (!m_wake)
        return false;
    // Here, on the thread that starts the folders in the settings' order,
    // so that the board lists them in that order.
    Report(WatchPhase::Connecting);
    m_thread.reset(::CreateThread(nullptr, 0, &MailboxWatch::ThreadMain, this, 0, nullptr));
    return m_thread.valid();
}

DWORD WINAPI MailboxWatch::ThreadMain(void* self)
{
    static_cast<MailboxWatch*>(self)->Run();
    return 0;
}

void MailboxWatch::Run()
{
    int failures = 0;
    bool token_retried = false;
    TokenUse token;
    while (!IsSet(m_context.stop)) {
        const Attempt attempt = ConnectOnce(&token);
        token.refused = attempt.token_refused;
        if (attempt.stopped || IsSet(m_context.stop))
            return;
        if (attempt.sign_in_again) {
            // No request until a new sign-in is stored: only the file is looked at.
            if (attempt.log_it)
                m_context.log.Write(m_where, attempt.why);
            Report(WatchPhase::SignInNeeded, attempt.why);
            if (WaitBeforeReconnect(kSignInLookMs) == Waited::Stop)
                return;
            continue;
        }
        if (attempt.woken) {
            m_context.log.Write(m_where, "reconnecting at once");
            failures = 0;
            continue;
        }
        token_retried = token_retried && !attempt.worked;
        if (attempt.token_refused && !token_retried) {
            // Expired, most likely: the command or the token server gives a fresh one.
            m_context.log.Write(m_where,
                attempt.why
                    + (m_account.oauth.provider == OAuthProvider::None ? "; running the token command again"
                                                                       : "; asking for a fresh token"));
            token_retried = true;
            continue;
        }
        if (attempt.polled) {
            ReportWatching(WatchPhase::Polling, attempt.new_mail);
            failures = 0; // one POP3 poll done: the next after `poll` seconds
            if (WaitBeforeReconnect(static_cast<int64_t>(m_account.poll_s) * 1000) == Waited::Stop)
                return;
            continue;
        }
        failures = attempt.worked ? 1 : failures + 1;
        const int64_t delay = ReconnectDelayMs(failures, attempt.login_refused, Jitter());
        m_context.log.Write(m_where, attempt.why + "; reconnecting in " + std::to_string((delay + 999) / 1000) + " s");
        Report(attempt.phase, attempt.why, UnixNow() + (delay + 999) / 1000, attempt.fingerprint);
        const Waited waited = WaitBeforeReconnect(delay);
        if (waited == Waited::Stop)
            return;
        if (waited == Waited::Woken)
            failures = 0;
    }
}

MailboxWatch::Attempt MailboxWatch::ConnectOnce(TokenUse* token)
{
    if (m_account.protocol == Protocol::Pop3)
        return PollOnce();
    Attempt attempt;
    ImapLogin login;
    bool log_it = true;
    switch (PrepareLogin(m_account, m_folder, m_context.stop, token, &login, &attempt.why, &log_it)) {
    case Credentials::Ready:
        break;
    case Credentials::Refused:
        attempt.login_refused = true;
        attempt.phase = m_account.token_command.empty() ? WatchPhase::LoginRefused : WatchPhase::TokenCommandFailing;
        return attempt;
    case Credentials::Unavailable:
        return attempt;
    case Credentials::SignInAgain:
        attempt.sign_in_again = true;
        attempt.log_it = log_it;
        return attempt;
    }
    // Only now: an account waiting for a sign-in or a token does not flicker.
    Report(WatchPhase::Connecting);
    login.fetch_headers = m_context.recent != nullptr;
    MailTimings timings = m_context.timings;
    timings.poll_ms = static_cast<int64_t>(m_account.poll_s) * 1000;
    const ServerAddress server { m_account.host, m_account.port, m_account.security, m_account.pinned_sha256 };
    const WatchKey key { m_account.name, m_folder.wire };
    const int64_t started = NowMs();
    WatchSink<FolderState> sink(m_context, key, m_where, m_account.display, [this](bool idle, bool new_mail) {
        ReportWatching(idle ? WatchPhase::Idling : WatchPhase::Polling, new_mail);
    });
    const ConnectionEnd end = RunImapConnection(
        server, std::move(login), m_context.store.Get(key), timings, m_context.stop, m_wake.get(), sink);
    attempt.stopped = end.stopped;
    attempt.woken = end.woken;
    attempt.worked = sink.worked() || NowMs() - started >= kStableMs;
    attempt.token_refused = end.reason == CloseReason::TokenRejected;
    // A missing folder is not created by trying again soon.
    attempt.login_refused
        = attempt.token_refused || end.reason == CloseReason::LoginFailed || end.reason == CloseReason::NoMailbox;
    attempt.why = end.not_counted ? "new messages not counted yet"
        : end.failure.empty()     ? CloseReasonText(end.reason)
                                  : end.failure;
    attempt.phase = end.reason == CloseReason::NoMailbox ? WatchPhase::FolderMissing
        : attempt.login_refused                          ? WatchPhase::LoginRefused
                                                         : WatchPhase::Retrying;
    CertificateRefused(end, &attempt);
    return attempt;
}

// One short session: a POP3 server locks the mailbox while it lasts.
MailboxWatch::Attempt MailboxWatch::PollOnce()
{
    Attempt attempt;
    Pop3Login login;
    if (!UnprotectSecret(m_account.password_blob, &login.password, &attempt.why)) {
        attempt.login_refused = true;
        attempt.phase = WatchPhase::LoginRefused;
        return attempt;
    }
    login.user = m_account.user;
    login.fetch_headers = m_context.recent != nullptr;
    const ServerAddress server { m_account.host, m_account.port, m_account.security, m_account.pinned_sha256 };
    WatchSink<Pop3Seen> sink(m_context, { m_account.name, {} }, m_where, m_account.display);
    const ConnectionEnd end = RunPop3Connection(server, std::move(login), m_context.store.GetPop3(m_account.name),
        m_context.timings, m_context.stop, m_wake.get(), sink);
    attempt.stopped = end.stopped;
    attempt.woken = end.woken;
    attempt.worked = sink.worked();
    attempt.polled = end.reason == CloseReason::LoggedOut && !end.not_counted;
    attempt.new_mail = sink.new_mail();
    attempt.login_refused = end.reason == CloseReason::LoginFailed;
    attempt.why = end.not_counted ? "new messages not counted yet"
        : end.failure.empty()     ? CloseReasonText(end.reason)
                                  : end.failure;
    attempt.phase = attempt.login_refused ? WatchPhase::LoginRefused : WatchPhase::Retrying;
    CertificateRefused(end, &attempt);
    return attempt;
}

void MailboxWatch::CertificateRefused(const ConnectionEnd& end, Attempt* attempt)
{
    if (end.refused_certificate.empty())
        return;
    attempt->phase = WatchPhase::CertificateRefused;
    attempt->fingerprint = end.refused_certificate;
}

void MailboxWatch::Report(WatchPhase phase, const std::string& why, int64_t retry_at, const std::string& fingerprint)
{
    // A folder that is ending says nothing more: its account may be gone.
    if (!m_context.status || IsSet(m_context.stop))
        return;
    FolderStatus folder;
    folder.account = m_account.name;
    if (m_account.protocol != Protocol::Pop3)
        folder.folder = Utf8ToCp932(m_folder.display);
    folder.phase = phase;
    folder.retry_at = retry_at;
    folder.last_ok = IsWatching(phase) ? UnixNow() : 0;
    folder.error = FitCp932(Utf8ToCp932(why), kStatusErrorBytes);
    folder.fingerprint = fingerprint;
    m_reported = phase;
    if (folder.last_ok)
        m_okReported = folder.last_ok;
    m_context.status->Report(folder);
}

void MailboxWatch::ReportWatching(WatchPhase phase, bool new_mail)
{
    if (phase != m_reported || new_mail || UnixNow() - m_okReported >= kOkReportS)
        Report(phase);
}

MailboxWatch::Waited MailboxWatch::WaitBeforeReconnect(int64_t delay_ms)
{
    const HANDLE events[] = { m_context.stop, m_wake.get() };
    const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(delay_ms));
    if (waited == WAIT_OBJECT_0 || IsSet(m_context.stop))
        return Waited::Stop;
    if (waited != WAIT_OBJECT_0 + 1)
        return Waited::Elapsed;
    m_context.log.Write(m_where, "woken: reconnecting at once");
    return Waited::Woken;
}

} // namespace mail
