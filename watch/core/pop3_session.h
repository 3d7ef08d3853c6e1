// One poll of a POP3 mailbox as a pure state machine: greeting, CAPA, STLS
// where asked, login (USER/PASS, AUTH PLAIN, or an OAuth token by AUTH
// OAUTHBEARER or XOAUTH2, RFC 5034), UIDL (or STAT on a server without it),
// TOP n 0 for the newest new messages when their headers are wanted, QUIT.
// POP3 servers lock the mailbox for a session, so each poll is one short
// session. It never sends RETR or DELE: the mailbox belongs to the mail client.
// The shell feeds bytes and the time and carries out the actions, as for
// ImapSession; Count and Baseline carry the Pop3Seen to persist.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "watch/core/account_values.h"
#include "watch/core/mail_session.h"
#include "watch/core/pop3_count.h"

namespace mail {

constexpr size_t kMaxPop3LineBytes = 512; // a response line with its CRLF (RFC 2449)
constexpr size_t kMaxPop3Messages = 100000; // UIDL lines accepted in one listing
// A command line with its CRLF (RFC 2449): AUTH carries its initial response
// only when the whole line fits (RFC 5034), otherwise after the server's "+ ".
constexpr size_t kMaxPop3CommandBytes = 255;

struct Pop3Login {
    std::string user;
    std::string password; // a secret: appears in no Log action
    bool starttls = false; // STLS before anything else
    // The shell's word that the connection is encrypted now (implicit TLS) or
    // that plaintext is allowed (security=none to a loopback address).
    bool credentials_may_be_sent = false;
    bool check_only = false; // larkbellctl check: report the message count, count nothing
    bool fetch_headers = false; // TOP n 0 for the newest new messages, for the popup's list
    std::string token; // an OAuth2 access token instead of the password: as secret
    AuthMethod auth = AuthMethod::Auto; // with a token: the mechanism, Auto for what CAPA's SASL line offers
    std::string host; // OAUTHBEARER names the server it talks to
    uint16_t port = 0;
};

class Pop3Session : public MailSession {
public:
    Pop3Session(Pop3Login login, Pop3Seen seen, int64_t response_timeout_ms, int64_t now_ms);

    void receive(std::string_view bytes, int64_t now_ms) override;
    void tick(int64_t now_ms) override;
    void logout(int64_t now_ms) override; // QUIT as soon as no command is in flight
    int64_t next_deadline() const override;
    const Pop3Seen& seen() const;

private:
    enum class Step { Greeting, Capa, Stls, TlsHandshake, User, Pass, Auth, AuthResult, Uidl, Stat, Top, Quit };

    void handle(std::string_view line, int64_t now_ms);
    void on_status(bool ok, std::string_view text, int64_t now_ms);
    void on_list_line(std::string_view line);
    void on_list_end(int64_t now_ms);
    void after_capabilities(int64_t now_ms);
    void send_login(int64_t now_ms);
    void send_token(AuthMethod method, int64_t now_ms);
    void on_challenge(std::string_view challenge, int64_t now_ms);
    void on_login_status(bool ok, std::string_view text, int64_t now_ms);
    void after_login(int64_t now_ms);
    void after_stat(std::string_view text, int64_t now_ms);
    void tally(const Pop3Tally& tally);
    // The new messages are the last ones listed: the newest first.
    void fetch_headers(uint32_t newest_number, uint32_t new_messages, int64_t now_ms);
    void next_top(int64_t now_ms);
    void send(std::string command, Step step, int64_t now_ms);
    void send_quit(int64_t now_ms);
    bool offers(std::string_view capability) const;
    bool awaiting_tls() const override;
    void after_tls(int64_t now_ms) override;
    bool leaving() const override;

    Pop3Login login_;
    Pop3Seen seen_;
    int64_t timeout_ms_;
    std::string partial_; // a line not yet ended, never over kMaxPop3LineBytes
    std::vector<std::string> ids_; // of the UIDL listing so far
    uint32_t last_number_ = 0; // of the UIDL listing's last line
    std::vector<uint32_t> to_top_; // message numbers whose header is still to come, newest first
    std::vector<std::string> headers_; // fetched so far, newest first
    bool multiline_ = false; // reading the lines of a CAPA or UIDL answer
    Step step_ = Step::Greeting;
    int64_t waiting_since_ = 0;
    bool quit_wanted_ = false;
    AuthMethod mechanism_ = AuthMethod::Login; // of the AUTH in flight: Login stands for PLAIN
    std::string response_; // the AUTH response still to send after the server's "+ "
    std::string refusal_; // a refused token's error challenge, decoded
    bool challenge_answered_ = false;
};

} // namespace mail
