// The IMAP session on arbitrary server bytes (see session_rules.h). The
// first byte picks the login options.
#include <stdint.h>

#include "tests/fuzz/session_rules.h"
#include "watch/core/imap_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    mail::ImapLogin login;
    login.user = "me";
    login.password = "Pw\xC3\xA4secret";
    login.folder = (data[0] & 1) ? "INBOX" : "\xE5\x8F\x97\xE4\xBF\xA1/Work";
    if (data[0] & 64) // a token instead of the password, by whichever mechanism is offered
        login.token.swap(login.password);
    login.starttls = data[0] & 2;
    login.credentials_may_be_sent = data[0] & 4;
    login.check_only = data[0] & 8;
    login.fetch_headers = data[0] & 128;
    // Bit 64 also stands for a folder whose UIDVALIDITY keeps changing.
    mail::FolderState state { (data[0] & 16) != 0, 7, (data[0] & 32) ? 4294967295u : 12u, (data[0] & 64) ? 2u : 0u };
    mail::ImapSession session(login, state, { 100, 1000, 50, 500 }, 0);
    PlayServerBytes(session, login, data, size, "Pw\xC3\xA4secret", state);
    return 0;
}
