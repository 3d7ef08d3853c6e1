#include "watch/shell/login_credentials.h"

#include <map>
#include <memory>

#include "watch/shell/oauth_token_source.h"
#include "watch/shell/protected_secret.h"
#include "watch/shell/token_command.h"
#include "win32/locks.h"

namespace mail {

namespace {

    // One token command at a time: helpers that refresh a token write their
    // store, and the folders of an account all sign in at the same moment.
    SRWLOCK g_tokenCommandLock = SRWLOCK_INIT;

    class TokenCommandTurn {
    public:
        TokenCommandTurn() { ::AcquireSRWLockExclusive(&g_tokenCommandLock); }
        TokenCommandTurn(const TokenCommandTurn&) = delete;
        TokenCommandTurn& operator=(const TokenCommandTurn&) = delete;
        ~TokenCommandTurn() { ::ReleaseSRWLockExclusive(&g_tokenCommandLock); }
    };

    // The token source of each OAuth account, shared by its folders and kept
    // for the life of the process (settings read again keep their tokens).
    win32::CriticalSection g_sourcesSection;

    OAuthTokenSource& SourceFor(const AccountConfig& account)
    {
        static std::map<std::string, std::unique_ptr<OAuthTokenSource>>* sources
            = new std::map<std::string, std::unique_ptr<OAuthTokenSource>>(); // outlives every thread
        const win32::SectionHold hold(g_sourcesSection);
        const std::string key = account.token_path + '\n' + account.oauth.token_url + '\n' + account.oauth.client_id
            + '\n' + account.oauth.client_secret_blob;
        std::unique_ptr<OAuthTokenSource>& source = (*sources)[key];
        if (!source)
            source = std::make_unique<OAuthTokenSource>(account.oauth, account.token_path);
        return *source;
    }

    Credentials OAuthLogin(
        const AccountConfig& account, TokenUse* use, std::string* token, std::string* why, bool* log_it)
    {
        bool first = false;
        const uint64_t refused = use->refused ? use->generation : 0;
        switch (SourceFor(account).Get(refused, token, &use->generation, why, &first)) {
        case TokenState::Ready:
            return Credentials::Ready;
        case TokenState::SignInAgain:
            *log_it = first;
            *why += ": sign in again with \"larkbellctl login " + account.display + "\"";
            return Credentials::SignInAgain;
        case TokenState::Failed:
            break;
        }
        *why = "no access token: " + *why;
        return Credentials::Unavailable;
    }

} // namespace

void KeepAccessToken(const AccountConfig& account, std::string access_token, int64_t expires_in_s)
{
    SourceFor(account).Keep(std::move(access_token), expires_in_s);
}

namespace {

    // What IMAP and POP3 logins share: who, where, and the secret.
    template <class Login>
    Credentials PrepareSignIn(
        const AccountConfig& account, HANDLE stop, TokenUse* use, Login* login, std::string* why, bool* log_it)
    {
        *log_it = true;
        login->user = account.user;
        login->auth = account.auth;
        login->host = account.host;
        login->port = account.port;
        if (account.oauth.provider != OAuthProvider::None)
            return OAuthLogin(account, use, &login->token, why, log_it);
        if (account.token_command.empty())
            return UnprotectSecret(account.password_blob, &login->password, why) ? Credentials::Ready
                                                                                 : Credentials::Refused;
        TokenCommandTurn turn;
        if (stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
            *why = "the watcher is stopping";
            return Credentials::Refused;
        }
        if (RunTokenCommand(account.token_command, stop, kTokenCommandLimitMs, &login->token, why))
            return Credentials::Ready;
        *why = "token command failed: " + *why;
        return Credentials::Refused;
    }

} // namespace

Credentials PrepareLogin(const AccountConfig& account, const WatchedFolder& folder, HANDLE stop, TokenUse* use,
    ImapLogin* login, std::string* why, bool* log_it)
{
    login->folder = folder.display;
    return PrepareSignIn(account, stop, use, login, why, log_it);
}

Credentials PrepareLogin(const AccountConfig& account, const WatchedFolder&, HANDLE stop, TokenUse* use,
    Pop3Login* login, std::string* why, bool* log_it)
{
    return PrepareSignIn(account, stop, use, login, why, log_it);
}

} // namespace mail
