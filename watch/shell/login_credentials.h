// What one login needs from an account, with the secret obtained for that
// connection only: the stored password opened, the token command run, or
// an access token from the account's OAuth token source.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>

#include "watch/core/imap_session.h"
#include "watch/core/pop3_session.h"
#include "watch/shell/account_config.h"

namespace mail {

enum class Credentials {
    Ready,
    Refused, // the stored password or the token command failed: as a refused login
    Unavailable, // the token server could not be reached or failed: back off
    SignInAgain, // oauth: wait for larkbellctl login
};

// Which OAuth access token a folder used last (0: none), and whether the
// server refused it: an OAuth account then refreshes first, once for all
// its folders.
struct TokenUse {
    uint64_t generation = 0;
    bool refused = false;
};

// Not Ready: one log line (UTF-8) in *why; *log_it is false when the same
// state was logged before for this account. A setting `stop` event cuts a
// token command short.
Credentials PrepareLogin(const AccountConfig& account, const WatchedFolder& folder, HANDLE stop, TokenUse* use,
    ImapLogin* login, std::string* why, bool* log_it);
Credentials PrepareLogin(const AccountConfig& account, const WatchedFolder& folder, HANDLE stop, TokenUse* use,
    Pop3Login* login, std::string* why, bool* log_it);

// Gives an OAuth account's logins an access token obtained by the sign-in
// itself, so that checking right after it needs no refresh.
void KeepAccessToken(const AccountConfig& account, std::string access_token, int64_t expires_in_s);

} // namespace mail
