// What the IMAP and the POP3 session share: the shell's side of the
// contract, the queue of actions, closing, and log lines in which no secret
// the session sends can appear.
#pragma once

#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "watch/core/session_contract.h"

namespace mail {

class MailSession {
public:
    virtual ~MailSession() = default;

    virtual void receive(std::string_view bytes, int64_t now_ms) = 0;
    void tls_ready(int64_t now_ms);
    virtual void tick(int64_t now_ms) = 0; // call at next_deadline() or later
    virtual void logout(int64_t now_ms) = 0; // leave politely, then Close(LoggedOut)
    void connection_lost(int64_t now_ms); // the peer closed or the socket failed

    bool next_action(Action& out); // false when none is pending
    virtual int64_t next_deadline() const = 0; // INT64_MAX when no timer runs
    bool closed() const { return closed_; }
    // Checks that ended watching (IMAP: in IDLE, or waiting for the next
    // poll), for the status the shell shows.
    uint32_t checks_done() const { return checks_done_; }
    bool idling() const { return idling_; }

protected:
    // From now on written as "***" in every log line: each secret the session
    // sends is named here before it is sent.
    void add_secret(std::string secret);
    void log(std::string text);
    void fail(std::string text, CloseReason reason = CloseReason::ProtocolError);
    void close(CloseReason reason);
    void push(Action action);

    virtual bool awaiting_tls() const = 0; // the server said yes to STARTTLS or STLS
    virtual void after_tls(int64_t now_ms) = 0; // the capabilities are forgotten by then
    virtual bool leaving() const = 0; // a lost connection is then the end asked for

    static Action MakeAction(Action::Kind kind, std::string bytes = {}, std::string text = {});
    static int64_t Later(int64_t when, int64_t delay);
    // Server text goes to a log file: bounded, without control bytes.
    static std::string Printable(std::string_view text);

    // What the server offers, as far as it said so (POP3: the upper-case
    // first words of the CAPA lines).
    std::vector<std::string> capabilities_;
    bool capabilities_known_ = false;
    bool tls_done_ = false;
    uint32_t checks_done_ = 0;
    bool idling_ = false;

private:
    std::deque<Action> actions_;
    std::vector<std::string> secrets_;
    bool closed_ = false;
};

} // namespace mail
