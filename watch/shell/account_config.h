// One account ready to connect: the INI's texts checked and converted
// through the core's account_values, folder names made ready for the wire.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "watch/core/account_values.h"
#include "watch/core/oauth_settings.h"
#include "watch/shell/watch_settings.h"

namespace mail {

struct WatchedFolder {
    std::string wire; // modified UTF-7, also the state file's key
    std::string display; // UTF-8, for the log
};

struct AccountConfig {
    std::string name; // as in the INI (code page 932): the state file's key
    std::string display; // UTF-8, for the log
    Protocol protocol = Protocol::Imap;
    std::string host;
    uint16_t port = 993;
    Security security = Security::Tls;
    std::string user; // UTF-8
    std::string password_blob; // DPAPI, base64: opened only just before a login
    std::string token_command; // code page 932; run just before each login instead
    OAuthClient oauth; // provider None: no OAuth sign-in
    std::string token_path; // its refresh token's file
    AuthMethod auth = AuthMethod::Auto;
    std::vector<WatchedFolder> folders; // POP3: one, with no name on the wire
    int poll_s = kDefaultPollSeconds;
    std::string pinned_sha256; // 32 raw bytes, or empty
};

// False, with one line for the log (UTF-8) in `*why`, when the account is refused.
bool MakeAccountConfig(const AccountEntry& entry, AccountConfig* config, std::string* why);

} // namespace mail
