// Arbitrary server bytes through a whole session. The first byte picks the
// login options; 0xFF splits the rest into reads, each followed by 40 ms and
// a tick. Checked besides the sanitizers: nothing after Close, no password or
// token in a log line, neither sent before encryption.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "imap_session.h"

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
    mail::FolderState state { (data[0] & 16) != 0, 7, (data[0] & 32) ? 4294967295u : 12u };
    mail::ImapTimings timings { 100, 1000, 50, 500 };
    mail::ImapSession session(login, state, timings, 0);
    bool closed = false, encrypted = !login.starttls;
    auto drain = [&] {
        for (mail::Action action; session.next_action(action); closed = action.kind == mail::Action::Kind::Close) {
            bool leak
                = action.kind == mail::Action::Kind::Log && action.text.find("Pw\xC3\xA4secret") != std::string::npos;
            bool early = action.kind == mail::Action::Kind::Send
                && (action.bytes.find("secret") != std::string::npos
                    || action.bytes.find("AUTHENTICATE") != std::string::npos)
                && !(encrypted && (login.credentials_may_be_sent || login.starttls));
            if (closed || leak || early)
                abort();
            if (action.kind == mail::Action::Kind::StartTls)
                session.tls_ready(0), encrypted = true;
        }
    };
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    int64_t now = 0;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find('\xff', start);
        end = end == std::string::npos ? input.size() : end;
        session.receive(std::string_view(input).substr(start, end - start), now);
        drain();
        now += 40;
        session.tick(now);
        drain();
        start = end + 1;
    }
    session.logout(now);
    session.connection_lost(now);
    drain();
    if (!closed || !session.closed())
        abort();
    return 0;
}
