// One IMAP connection watching one folder, as a pure state machine: the
// shell feeds it decrypted bytes and the time, and carries out the actions it
// hands back. No sockets, clocks or files here, so it builds natively, runs
// under sanitizers and can be fuzzed.
#pragma once

#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "account_values.h"
#include "imap_fragmenter.h"

namespace mail {

struct ImapResponse;

// What the watcher already counted in one folder.
struct FolderState {
    bool known = false; // false: first sight, baseline and count nothing
    uint32_t uidvalidity = 0;
    uint32_t last_uid = 0;
    // Sessions in a row that found a new UIDVALIDITY, up to
    // kUidValidityChangesTold: at that many the log has said so once.
    uint32_t uidvalidity_changes = 0;
};

constexpr uint32_t kUidValidityChangesTold = 2;

struct ImapLogin {
    std::string user;
    std::string password; // a secret: appears in no Log action
    std::string token; // an OAuth2 access token: as secret as the password
    AuthMethod auth = AuthMethod::Auto;
    std::string host; // OAUTHBEARER names the server it talks to
    uint16_t port = 0;
    // UTF-8 as the settings write it, "/" between levels: the session asks
    // the server for its delimiter when the name has levels.
    std::string folder;
    bool starttls = false; // ask for STARTTLS before anything else
    // The shell's word that the connection is encrypted now (implicit TLS) or
    // that plaintext is allowed (security=none to a loopback address).
    bool credentials_may_be_sent = false;
    // larkbellctl check: after EXAMINE succeeds, report Examined and log out
    // instead of counting and idling.
    bool check_only = false;
};

struct ImapTimings {
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

struct Action {
    enum class Kind {
        Send, // write `bytes` to the server (may hold a credential: never log it)
        StartTls, // run the TLS handshake now, then call tls_ready()
        Count, // `count` new messages; hand them over, then persist `state`
        Baseline, // persist `state`; nothing counted (first sight, new UIDVALIDITY)
        Log, // `text` for the log file
        Examined, // check_only: the folder opened; `text` e.g. "INBOX: 12 messages, UIDVALIDITY 1700000000"
        Close, // close the connection; `reason` says why
    };
    Kind kind = Kind::Log;
    std::string bytes;
    std::string text;
    uint32_t count = 0;
    FolderState state;
    CloseReason reason = CloseReason::None;
};

class ImapSession {
public:
    ImapSession(ImapLogin login, FolderState state, ImapTimings timings, int64_t now_ms);

    void receive(std::string_view bytes, int64_t now_ms);
    void tls_ready(int64_t now_ms);
    void tick(int64_t now_ms); // call at next_deadline() or later
    void logout(int64_t now_ms); // leave IDLE if in it, LOGOUT, then Close(LoggedOut)
    void connection_lost(int64_t now_ms); // the peer closed or the socket failed

    bool next_action(Action& out); // false when none is pending
    int64_t next_deadline() const; // INT64_MAX when no timer runs
    bool closed() const;
    const FolderState& state() const;

private:
    enum class Step {
        Greeting,
        Capability,
        StartTls,
        TlsHandshake,
        Login,
        Authenticate,
        List,
        Examine,
        Baseline,
        Check,
        IdleStart,
        Idling,
        IdleDone,
        Noop,
        PollWait,
        Logout,
        Closed,
    };
    enum class AfterIdle { Check, Noop, Logout };

    void handle(const std::string& line, int64_t now_ms);
    void on_untagged(const ImapResponse& response, int64_t now_ms);
    void on_tagged(const ImapResponse& response, int64_t now_ms);
    void on_continuation(const ImapResponse& response, int64_t now_ms);
    void after_capabilities(int64_t now_ms);
    void after_examine(int64_t now_ms);
    void baseline(uint32_t newest_uid, int64_t now_ms);
    void after_baseline_search(int64_t now_ms);
    void finish_baseline();
    void after_check(int64_t now_ms);
    void send_login(int64_t now_ms);
    void send_authenticate(AuthMethod method, int64_t now_ms);
    void answer_challenge(const std::string& challenge);
    void after_login(const ImapResponse& response, int64_t now_ms);
    void open_folder(int64_t now_ms);
    void send_check(int64_t now_ms);
    void send_command(std::string command, Step step, int64_t now_ms);
    void send_pieces(std::vector<std::string> pieces, Step step, int64_t now_ms);
    void send_done(AfterIdle next, int64_t now_ms);
    void idle_or_poll(int64_t now_ms);
    void send_logout(int64_t now_ms);
    std::string folder_name() const;
    void log(std::string text);
    void fail(std::string text);
    void close(CloseReason reason);
    void push(Action action);

    ImapLogin login_;
    FolderState state_;
    ImapTimings timings_;
    ImapFragmenter fragmenter_;
    std::deque<Action> actions_;
    std::vector<std::string> capabilities_;
    bool capabilities_known_ = false;
    Step step_ = Step::Greeting;
    AfterIdle after_idle_ = AfterIdle::Check;
    std::string tag_; // of the command in flight
    uint32_t next_tag_ = 1;
    std::vector<std::string> pieces_; // of a command, each sent after a "+"
    int64_t waiting_since_ = 0; // a command was sent or a byte arrived
    int64_t idle_since_ = 0;
    int64_t next_poll_ = 0;
    uint32_t exists_ = 0;
    bool exists_known_ = false;
    uint32_t examined_uidvalidity_ = 0;
    uint32_t examined_uidnext_ = 0; // 0: EXAMINE did not say
    uint32_t newest_uid_ = 0; // the highest UID a SEARCH (or FETCH, for a baseline) returned
    uint32_t new_count_ = 0; // UIDs above last_uid a SEARCH returned
    bool recheck_ = false; // EXISTS arrived while a check could have missed it
    bool baseline_searched_ = false; // UID SEARCH UID *, the last way to find the newest UID, was tried
    bool baseline_pending_ = false; // the check that follows a baseline is still part of it
    bool logged_in_ = false;
    bool logout_wanted_ = false;
    bool tls_done_ = false;
    std::string mailbox_; // the folder as the server names it, once known
    char delimiter_ = '/'; // from LIST "" "", asked only for names with levels
    bool delimiter_known_ = false;
    AuthMethod mechanism_ = AuthMethod::Login; // of the AUTHENTICATE in flight
    std::string sasl_response_; // base64, masked in logs like the token
    std::string refusal_; // the server's failure challenge, decoded
    bool challenge_answered_ = false;
};

} // namespace mail
