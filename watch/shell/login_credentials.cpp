#include "login_credentials.h"

#include "protected_secret.h"
#include "token_command.h"

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

} // namespace

bool PrepareLogin(
    const AccountConfig& account, const WatchedFolder& folder, HANDLE stop, ImapLogin* login, std::string* why)
{
    login->user = account.user;
    login->auth = account.auth;
    login->host = account.host;
    login->port = account.port;
    login->folder = folder.display;
    if (account.token_command.empty())
        return UnprotectSecret(account.password_blob, &login->password, why);
    TokenCommandTurn turn;
    if (stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
        *why = "the watcher is stopping";
        return false;
    }
    if (RunTokenCommand(account.token_command, stop, kTokenCommandLimitMs, &login->token, why))
        return true;
    *why = "token command failed: " + *why;
    return false;
}

} // namespace mail
