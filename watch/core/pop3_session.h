// One poll of a POP3 mailbox as a pure state machine: greeting, CAPA, STLS
// where asked, login, UIDL (or STAT on a server without it), QUIT. POP3
// servers lock the mailbox for a session, so each poll is one short session.
// It never sends RETR, TOP or DELE: the mailbox belongs to the mail client.
// The shell feeds bytes and the time and carries out the actions, as for
// ImapSession; Count and Baseline mean "persist seen()".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "imap_session.h"
#include "pop3_count.h"

namespace mail {

constexpr size_t kMaxPop3LineBytes = 512; // a response line with its CRLF (RFC 2449)
constexpr size_t kMaxPop3Messages = 100000; // UIDL lines accepted in one listing

struct Pop3Login {
    std::string user;
    std::string password; // a secret: appears in no Log action
    bool starttls = false; // STLS before anything else
    // The shell's word that the connection is encrypted now (implicit TLS) or
    // that plaintext is allowed (security=none to a loopback address).
    bool credentials_may_be_sent = false;
    bool check_only = false; // larkbellctl check: report the message count, count nothing
};

class Pop3Session {
public:
    Pop3Session(Pop3Login login, Pop3Seen seen, int64_t response_timeout_ms, int64_t now_ms);

    void receive(std::string_view bytes, int64_t now_ms);
    void tls_ready(int64_t now_ms);
    void tick(int64_t now_ms); // call at next_deadline() or later
    void logout(int64_t now_ms); // QUIT as soon as no command is in flight
    void connection_lost(int64_t now_ms);

    bool next_action(Action& out); // false when none is pending
    int64_t next_deadline() const; // INT64_MAX once closed
    bool closed() const;
    const Pop3Seen& seen() const;

private:
    enum class Step { Greeting, Capa, Stls, TlsHandshake, User, Pass, Auth, AuthResult, Uidl, Stat, Quit, Closed };

    void handle(std::string_view line, int64_t now_ms);
    void on_status(bool ok, std::string_view text, int64_t now_ms);
    void on_list_line(std::string_view line);
    void on_list_end(int64_t now_ms);
    void after_capabilities(int64_t now_ms);
    void send_login(int64_t now_ms);
    void after_login(int64_t now_ms);
    void after_stat(std::string_view text, int64_t now_ms);
    void tally(const Pop3Tally& tally);
    void send(std::string command, Step step, int64_t now_ms);
    void send_quit(int64_t now_ms);
    bool offers(std::string_view capability) const;
    void log(std::string text);
    void fail(std::string text, CloseReason reason = CloseReason::ProtocolError);
    void close(CloseReason reason);
    void push(Action action);

    Pop3Login login_;
    Pop3Seen seen_;
    int64_t timeout_ms_;
    std::deque<Action> actions_;
    std::string partial_; // a line not yet ended, never over kMaxPop3LineBytes
    std::vector<std::string> capabilities_; // upper-case first words of the CAPA lines
    bool capabilities_known_ = false;
    std::vector<std::string> ids_; // of the UIDL listing so far
    bool multiline_ = false; // reading the lines of a CAPA or UIDL answer
    Step step_ = Step::Greeting;
    int64_t waiting_since_ = 0;
    bool tls_done_ = false;
    bool quit_wanted_ = false;
};

} // namespace mail
