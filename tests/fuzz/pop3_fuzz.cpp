// Arbitrary server bytes through one POP3 poll. The first byte picks the
// login options and what was seen before; 0xFF splits the rest into reads,
// each followed by 40 ms and a tick. Checked besides the sanitizers: nothing
// after Close, no password in a log line, never a password before
// encryption, never a command that reads or changes messages.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "pop3_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    mail::Pop3Login login { "me", "Pw\xC3\xA4secret", (data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 4) != 0 };
    mail::Pop3Seen seen { (data[0] & 8) != 0, (data[0] & 16) != 0, 3, { "a", "b" } };
    mail::Pop3Session session(login, seen, 50, 0);
    bool closed = false, encrypted = !login.starttls;
    auto drain = [&] {
        for (mail::Action action; session.next_action(action); closed = action.kind == mail::Action::Kind::Close) {
            std::string command = action.bytes.substr(0, 4);
            bool leak = action.kind == mail::Action::Kind::Log && action.text.find(login.password) != std::string::npos;
            bool early = action.kind == mail::Action::Kind::Send && action.bytes.find("secret") != std::string::npos
                && !(encrypted && (login.credentials_may_be_sent || login.starttls));
            bool harmful = command == "RETR" || command == "DELE" || command == "TOP " || command == "RSET";
            if (closed || leak || early || harmful)
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
    if (!closed || !session.closed() || session.seen().ids.size() > mail::kMaxPop3SeenIds)
        abort();
    return 0;
}
