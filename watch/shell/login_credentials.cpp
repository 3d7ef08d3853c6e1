#include "login_credentials.h"

#include "protected_secret.h"
#include "token_command.h"

namespace mail {

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
    if (RunTokenCommand(account.token_command, stop, kTokenCommandLimitMs, &login->token, why))
        return true;
    *why = "token command failed: " + *why;
    return false;
}

} // namespace mail
