// Arbitrary server bytes through a whole IMAP or POP3 session: 0xFF splits
// them into reads, each followed by 40 ms and a tick; then logout and a lost
// connection. Checked besides the sanitizers: nothing after Close and closed
// at the end, the secret in no log line, no credential before encryption,
// never a command that reads or changes messages, and no Count before the
// baseline is done: `stored` is the state the session starts from, and a
// Count must carry the UIDVALIDITY of that state or of the last Baseline.
#pragma once
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <variant>

#include "mail_session.h"

// A POP3 action carries no UIDVALIDITY: 0, as for a folder not yet known.
inline uint32_t UidValidityOf(const mail::Action& action)
{
    const mail::FolderState* folder = std::get_if<mail::FolderState>(&action.state);
    return folder ? folder->uidvalidity : 0;
}

template <typename Session>
void PlayServerBytes(Session& session, std::string_view input, const std::string& secret, bool starttls, bool may_send,
    const mail::FolderState& stored)
{
    bool closed = false, encrypted = !starttls, baselined = stored.known;
    uint32_t uidvalidity = stored.uidvalidity;
    auto drain = [&] {
        for (mail::Action action; session.next_action(action); closed = action.kind == mail::Action::Kind::Close) {
            const std::string& bytes = action.bytes;
            bool leak = action.kind == mail::Action::Kind::Log && action.text.find(secret) != std::string::npos;
            bool credential = bytes.find(secret) != std::string::npos || bytes.find("AUTH") != std::string::npos;
            bool early = credential && !(encrypted && (may_send || starttls));
            bool harmful = bytes.rfind("RETR", 0) == 0 || bytes.rfind("DELE", 0) == 0 || bytes.rfind("TOP ", 0) == 0
                || bytes.rfind("RSET", 0) == 0;
            if (action.kind == mail::Action::Kind::Baseline)
                baselined = true, uidvalidity = UidValidityOf(action);
            bool counted_early
                = action.kind == mail::Action::Kind::Count && (!baselined || UidValidityOf(action) != uidvalidity);
            if (closed || leak || early || harmful || counted_early)
                abort();
            if (action.kind == mail::Action::Kind::StartTls)
                session.tls_ready(0), encrypted = true;
        }
    };
    int64_t now = 0;
    for (size_t start = 0; start <= input.size(); now += 40) {
        size_t end = std::min(input.find('\xff', start), input.size());
        session.receive(input.substr(start, end - start), now);
        drain();
        session.tick(now + 40);
        drain();
        start = end + 1;
    }
    session.logout(now);
    session.connection_lost(now);
    drain();
    if (!closed || !session.closed())
        abort();
}
