// One POP3 poll on arbitrary server bytes (see session_rules.h). The first
// byte picks the login options, the password or a token, and what was seen
// before.
#include <stdint.h>

#include "tests/fuzz/session_rules.h"
#include "watch/core/pop3_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string secret = "Pw\xC3\xA4secret";
    if (data[0] & 128) // forced, and too long for the AUTH line: it waits for "+ "
        secret += std::string(300, 't');
    mail::Pop3Login login;
    login.user = "me";
    login.password = secret;
    login.starttls = data[0] & 1;
    login.credentials_may_be_sent = data[0] & 2;
    login.check_only = data[0] & 4;
    login.fetch_headers = data[0] & 32;
    if (data[0] & (64 | 128)) // a token instead of the password, by whichever mechanism is offered
        login.token.swap(login.password);
    if (data[0] & 128)
        login.auth = (data[0] & 64) ? mail::AuthMethod::XOAuth2 : mail::AuthMethod::OAuthBearer;
    bool known = (data[0] & 8) != 0;
    mail::Pop3Session session(login, { known, (data[0] & 16) != 0, 3, { "a", "b" } }, 50, 0);
    mail::FolderState stored; // what a POP3 Count carries
    stored.known = known;
    PlayServerBytes(session, login, data, size, secret, stored);
    if (session.seen().ids.size() > mail::kMaxPop3SeenIds)
        abort();
    return 0;
}
