// One POP3 poll on arbitrary server bytes (see session_rules.h). The first
// byte picks the login options and what was seen before.
#include <stdint.h>

#include "tests/fuzz/session_rules.h"
#include "watch/core/pop3_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    mail::Pop3Login login { "me", "Pw\xC3\xA4secret", (data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 4) != 0,
        (data[0] & 32) != 0 };
    bool known = (data[0] & 8) != 0;
    mail::Pop3Session session(login, { known, (data[0] & 16) != 0, 3, { "a", "b" } }, 50, 0);
    mail::FolderState stored; // what a POP3 Count carries
    stored.known = known;
    PlayServerBytes(session, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), login.password,
        login.starttls, login.credentials_may_be_sent, stored, login.fetch_headers);
    if (session.seen().ids.size() > mail::kMaxPop3SeenIds)
        abort();
    return 0;
}
