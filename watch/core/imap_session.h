// One IMAP connection watching one folder, as a pure state machine: the
// shell feeds it decrypted bytes and the time, and carries out the actions it
// hands back. No sockets, clocks or files here, so it builds natively, runs
// under sanitizers and can be fuzzed.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "watch/core/account_values.h"
#include "watch/core/imap_fragmenter.h"
#include "watch/core/mail_session.h"

namespace mail {

struct ImapResponse;

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
    // After a Count, the new messages' From, Subject and Date (the newest
    // kHeaderFetchBatch, BODY.PEEK so none is marked read) for the popup's list.
    bool fetch_headers = false;
};

class ImapSession : public MailSession {
public:
    ImapSession(ImapLogin login, FolderState state, MailTimings timings, int64_t now_ms);

    void receive(std::string_view bytes, int64_t now_ms) override;
    void tick(int64_t now_ms) override;
    void logout(int64_t now_ms) override; // leave IDLE if in it, LOGOUT, then Close(LoggedOut)
    int64_t next_deadline() const override;
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
        Fetch,
        IdleStart,
        Idling,
        IdleDone,
        Noop,
        PollWait,
        Logout,
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
    void after_fetch(int64_t now_ms);
    bool take_fetched(const std::string& line);
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
    bool awaiting_tls() const override;
    void after_tls(int64_t now_ms) override;
    bool leaving() const override;

    ImapLogin login_;
    FolderState state_;
    MailTimings timings_;
    ImapFragmenter fragmenter_;
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
    std::vector<uint32_t> new_uids_; // those UIDs, for the header fetch
    std::vector<std::pair<uint32_t, std::string>> fetched_; // UID and header, as they came
    bool recheck_ = false; // EXISTS arrived while a check could have missed it
    bool baseline_searched_ = false; // UID SEARCH UID *, the last way to find the newest UID, was tried
    bool baseline_pending_ = false; // the check that follows a baseline is still part of it
    bool logged_in_ = false;
    bool logout_wanted_ = false;
    std::string mailbox_; // the folder as the server names it, once known
    char delimiter_ = '/'; // from LIST "" "", asked only for names with levels
    bool delimiter_known_ = false;
    AuthMethod mechanism_ = AuthMethod::Login; // of the AUTHENTICATE in flight
    std::string refusal_; // the server's failure challenge, decoded
    bool challenge_answered_ = false;
};

} // namespace mail
