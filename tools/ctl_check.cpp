// larkbellctl check NAME: one connection per folder, made exactly as the
// watcher makes it, that stops after EXAMINE.
#include <windows.h>

#include <stdio.h>

#include "tools/ctl_watch.h"
#include "watch/shell/account_config.h"
#include "watch/shell/code_pages.h"
#include "watch/shell/login_credentials.h"
#include "watch/shell/mail_connection.h"
#include "watch/shell/watch_settings.h"

namespace {

template <class State> class ResultSink : public mail::CountSink<State> {
public:
    bool OnCount(uint32_t, const State&) override { return true; }
    void OnBaseline(const State&) override { }
    void OnExamined(const std::string& text) override
    {
        printf("%s\n", mail::Utf8ToCp932(text).c_str());
        m_examined = true;
    }
    // The last text says best why a folder could not be opened.
    void OnLog(const std::string& text) override { m_lastLog = text; }

    // False, with one line on why, when nothing was opened.
    bool Succeeded(const std::string& where, const mail::ConnectionEnd& end) const
    {
        if (m_examined)
            return true;
        const std::string reason = !end.failure.empty() ? end.failure
            : !m_lastLog.empty()                        ? m_lastLog
                                                        : mail::CloseReasonText(end.reason);
        fprintf(stderr, "larkbellctl: %s: %s\n", where.c_str(), mail::Utf8ToCp932(reason).c_str());
        return false;
    }

private:
    bool m_examined = false;
    std::string m_lastLog;
};

// One check connection, made again once with a fresh token if the server
// refused the first, as the watcher does. False (with one error line) when
// nothing was opened.
template <class Login, class State, class Run>
bool SignInAndCheck(const mail::AccountConfig& account, const mail::WatchedFolder& folder, const std::string& where,
    ResultSink<State>& sink, Run run)
{
    mail::ConnectionEnd end;
    mail::TokenUse use;
    for (int attempt = 0; attempt < 2 && (attempt == 0 || end.reason == mail::CloseReason::TokenRejected); ++attempt) {
        Login login;
        std::string why;
        bool log_it = true;
        use.refused = end.reason == mail::CloseReason::TokenRejected;
        if (mail::PrepareLogin(account, folder, nullptr, &use, &login, &why, &log_it) != mail::Credentials::Ready) {
            fprintf(stderr, "larkbellctl: %s: %s\n", where.c_str(), mail::Utf8ToCp932(why).c_str());
            return false;
        }
        login.check_only = true;
        end = run(std::move(login));
    }
    return sink.Succeeded(where, end);
}

bool CheckFolder(
    const mail::AccountConfig& account, const mail::WatchedFolder& folder, const mail::MailTimings& timings)
{
    const mail::ServerAddress server { account.host, account.port, account.security, account.pinned_sha256 };
    ResultSink<mail::FolderState> sink;
    return SignInAndCheck<mail::ImapLogin>(
        account, folder, mail::Utf8ToCp932(account.display + "/" + folder.display), sink, [&](mail::ImapLogin login) {
            return mail::RunImapConnection(
                server, std::move(login), mail::FolderState(), timings, nullptr, nullptr, sink);
        });
}

// One POP3 session that logs in, asks STAT and quits.
bool CheckPop3(const mail::AccountConfig& account, const mail::MailTimings& timings)
{
    const mail::ServerAddress server { account.host, account.port, account.security, account.pinned_sha256 };
    ResultSink<mail::Pop3Seen> sink;
    return SignInAndCheck<mail::Pop3Login>(
        account, account.folders.front(), mail::Utf8ToCp932(account.display), sink, [&](mail::Pop3Login login) {
            return mail::RunPop3Connection(server, std::move(login), mail::Pop3Seen(), timings, nullptr, nullptr, sink);
        });
}

} // namespace

int RunCheckCommand(const char* name)
{
    mail::AccountConfig account;
    if (!ReadCommandAccount(name, &account))
        return 1;
    const std::string path = WatchSettingsPath();
    mail::MailTimings timings;
    timings.response_timeout_ms = static_cast<int64_t>(mail::ReadWatchSettings(path).timeout_s) * 1000;
    if (account.protocol == mail::Protocol::Pop3)
        return CheckPop3(account, timings) ? 0 : 1;
    for (const mail::WatchedFolder& folder : account.folders) {
        if (!CheckFolder(account, folder, timings))
            return 1;
    }
    return 0;
}
