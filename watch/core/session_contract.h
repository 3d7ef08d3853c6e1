// What a mail session and the shell that runs it agree on: the actions a
// session hands out, why it closed, and the state it asks to persist. IMAP
// and POP3 speak it alike, so the shell runs either the same way.
#pragma once

#include <stdint.h>

#include <string>
#include <variant>
#include <vector>

namespace mail {

// What the watcher already counted in one IMAP folder.
struct FolderState {
    bool known = false; // false: first sight, baseline and count nothing
    uint32_t uidvalidity = 0;
    uint32_t last_uid = 0;
    // Sessions in a row that found a new UIDVALIDITY, up to
    // kUidValidityChangesTold: at that many the log has said so once.
    uint32_t uidvalidity_changes = 0;
};

constexpr uint32_t kUidValidityChangesTold = 2;

// What the watcher remembers of one POP3 mailbox.
struct Pop3Seen {
    bool known = false; // false: first sight, baseline and count nothing
    bool by_count = false; // the server has no UIDL: only the number of messages is known
    uint32_t messages = 0; // by_count: how many the server held last time
    std::vector<std::string> ids; // otherwise: the ids listed last time, oldest first
};

// What a Count or Baseline asks the shell to persist.
using MailboxState = std::variant<FolderState, Pop3Seen>;

struct MailTimings {
    int64_t keepalive_ms = 5 * 60 * 1000; // silence while idling before DONE + NOOP
    int64_t idle_renew_ms = 24 * 60 * 1000; // IDLE is re-issued before 29 min
    int64_t response_timeout_ms = 30 * 1000; // no answer: the connection is dead
    int64_t poll_ms = 120 * 1000; // a server without IDLE is asked this often
};

enum class CloseReason {
    None,
    LoggedOut, // after logout(): the server said BYE or OK, or went away
    LoginFailed, // the server refused the credentials: long back-off
    NoStartTls, // asked for STARTTLS, the server does not offer it
    NoMailbox, // EXAMINE refused: the folder does not exist
    TooLong, // a line or literal over the limits
    Timeout, // no answer within response_timeout_ms
    ServerBye, // unsolicited BYE
    ProtocolError, // anything else the machine cannot go on from
    ConnectionLost, // the peer closed or the socket failed, not after logout()
    TokenRejected, // the server refused the access token: get a new one
};

// A few words for the log.
const char* CloseReasonText(CloseReason reason);

struct Action {
    enum class Kind {
        Send, // write `bytes` to the server (may hold a credential: never log it)
        StartTls, // run the TLS handshake now, then call tls_ready()
        Count, // `count` new messages; hand them over, then persist `state`
        Baseline, // persist `state`; nothing counted (first sight, new UIDVALIDITY)
        Log, // `text` for the log file
        Examined, // check_only: the folder opened; `text` e.g. "INBOX: 12 messages, UIDVALIDITY 1700000000"
        Close, // close the connection; `reason` says why
        // The header fields of the messages just counted, newest first, as
        // the server sent them; after their Count, and only when asked for.
        Headers,
    };
    Kind kind = Kind::Log;
    std::string bytes;
    std::string text;
    uint32_t count = 0;
    MailboxState state;
    CloseReason reason = CloseReason::None;
    std::vector<std::string> headers;
};

} // namespace mail
