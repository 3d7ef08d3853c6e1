// Arbitrary server bytes through a whole IMAP or POP3 session: 0xFF splits
// them into reads, each followed by 40 ms and a tick; then logout and a lost
// connection. Checked besides the sanitizers: nothing after Close and closed
// at the end, the secret in no log line, no credential before encryption,
// never a command that changes messages or reads more than their headers
// (and those only when asked for), bounded headers, and no Count before the
// baseline is done: `stored` is the state the session starts from, and a
// Count must carry the UIDVALIDITY of that state or of the last Baseline.
#pragma once
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <variant>

#include "watch/core/header_text.h"
#include "watch/core/mail_session.h"

// "TOP n 0" (POP3) or a UID FETCH of header fields with BODY.PEEK (IMAP).
inline bool ReadsHeadersOnly(const std::string& bytes)
{
    if (bytes.rfind("TOP ", 0) == 0)
        return bytes.size() > 8 && bytes.compare(bytes.size() - 4, 4, " 0\r\n") == 0
            && std::all_of(bytes.begin() + 4, bytes.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
    return bytes.find(" UID FETCH ") != std::string::npos
        && bytes.find("(UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])\r\n") != std::string::npos;
}

// A POP3 action carries no UIDVALIDITY: 0, as for a folder not yet known.
inline uint32_t UidValidityOf(const mail::Action& action)
{
    const mail::FolderState* folder = std::get_if<mail::FolderState>(&action.state);
    return folder ? folder->uidvalidity : 0;
}

// `data` past its first byte, which picked the login options.
template <typename Session, typename Login>
void PlayServerBytes(Session& session, const Login& login, const uint8_t* data, size_t size, const std::string& secret,
    const mail::FolderState& stored)
{
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool starttls = login.starttls, may_send = login.credentials_may_be_sent,
               headers_wanted = login.fetch_headers;
    bool closed = false, encrypted = !starttls, baselined = stored.known;
    uint32_t uidvalidity = stored.uidvalidity;
    auto drain = [&] {
        for (mail::Action action; session.next_action(action); closed = action.kind == mail::Action::Kind::Close) {
            const std::string& bytes = action.bytes;
            bool leak = action.kind == mail::Action::Kind::Log && action.text.find(secret) != std::string::npos;
            bool credential = bytes.find(secret) != std::string::npos || bytes.find("AUTH") != std::string::npos;
            bool early = credential && !(encrypted && (may_send || starttls));
            bool fetch = bytes.rfind("TOP ", 0) == 0 || bytes.find("FETCH") != std::string::npos;
            // The baseline asks "UID FETCH * (UID)": a UID, no message text.
            bool baseline_fetch = bytes.find(" UID FETCH * (UID)\r\n") != std::string::npos;
            bool harmful = bytes.rfind("RETR", 0) == 0 || bytes.rfind("DELE", 0) == 0 || bytes.rfind("RSET", 0) == 0
                || bytes.find("STORE") != std::string::npos || (fetch && !ReadsHeadersOnly(bytes) && !baseline_fetch)
                || (fetch && ReadsHeadersOnly(bytes) && !headers_wanted);
            bool unbounded = action.headers.size() > mail::kHeaderFetchBatch
                || std::any_of(action.headers.begin(), action.headers.end(),
                    [](const std::string& header) { return header.size() > mail::kHeaderLimit; });
            if (action.kind == mail::Action::Kind::Baseline)
                baselined = true, uidvalidity = UidValidityOf(action);
            bool counted_early
                = action.kind == mail::Action::Kind::Count && (!baselined || UidValidityOf(action) != uidvalidity);
            if (closed || leak || early || harmful || unbounded || counted_early)
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
