// What one login needs from an account, with the secret obtained for that
// connection only: the stored password opened, or the token command run.
#pragma once

#include <windows.h>

#include <string>

#include "account_config.h"
#include "imap_session.h"

namespace mail {

// False with one log line (UTF-8) in *why; a setting `stop` event cuts a
// token command short.
bool PrepareLogin(
    const AccountConfig& account, const WatchedFolder& folder, HANDLE stop, ImapLogin* login, std::string* why);

} // namespace mail
