#include "watch/core/imap_session.h"

#include <algorithm>

#include "watch/core/base64.h"
#include "watch/core/imap_command.h"
#include "watch/core/imap_fetch.h"
#include "watch/core/imap_response.h"
#include "watch/core/mailbox_name.h"
#include "watch/core/mutf7.h"
#include "watch/core/sasl_oauth.h"

namespace mail {

ImapSession::ImapSession(ImapLogin login, FolderState state, MailTimings timings, int64_t now_ms)
    : login_(std::move(login))
    , state_(state)
    , timings_(timings)
    , waiting_since_(now_ms)
{
    add_secret(login_.password);
    add_secret(login_.token);
}

const FolderState& ImapSession::state() const { return state_; }

int64_t ImapSession::next_deadline() const
{
    if (closed())
        return INT64_MAX;
    switch (step_) {
    case Step::Idling: {
        int64_t keepalive = Later(waiting_since_, timings_.keepalive_ms);
        int64_t renew = Later(idle_since_, timings_.idle_renew_ms);
        return keepalive < renew ? keepalive : renew;
    }
    case Step::PollWait:
        return next_poll_;
    default:
        return Later(waiting_since_, timings_.response_timeout_ms);
    }
}

void ImapSession::receive(std::string_view bytes, int64_t now_ms)
{
    if (closed() || bytes.empty())
        return;
    waiting_since_ = now_ms;
    if (step_ == Step::TlsHandshake) {
        fail("the server sent data between STARTTLS and the TLS handshake");
        return;
    }
    std::deque<std::string> lines;
    bool within_limits = fragmenter_.feed(bytes, lines);
    for (const std::string& line : lines) {
        if (closed())
            return;
        handle(line, now_ms);
    }
    if (closed())
        return;
    if (!within_limits) {
        log("the server sent a response too long to accept (over 1 MiB, or a literal over 64 KiB)");
        close(CloseReason::TooLong);
    } else if (step_ == Step::TlsHandshake) {
        // Whatever came after the OK would be read as if it had been encrypted.
        if (!fragmenter_.empty())
            fail("the server sent data between STARTTLS and the TLS handshake");
        else
            push(MakeAction(Action::Kind::StartTls));
    }
}

void ImapSession::handle(const std::string& line, int64_t now_ms)
{
    if (step_ == Step::TlsHandshake) {
        fail("the server sent data between STARTTLS and the TLS handshake");
        return;
    }
    if (step_ == Step::Fetch && take_fetched(line))
        return;
    ImapResponse response;
    if (!ParseResponse(line, &response)) {
        fail("cannot understand the server: " + Printable(line));
        return;
    }
    if (response.code == "ALERT")
        log("server alert: " + Printable(response.text));
    switch (response.kind) {
    case ImapResponse::Kind::Continuation:
        on_continuation(response, now_ms);
        break;
    case ImapResponse::Kind::Untagged:
        on_untagged(response, now_ms);
        break;
    case ImapResponse::Kind::Tagged:
        on_tagged(response, now_ms);
        break;
    }
}

void ImapSession::on_untagged(const ImapResponse& response, int64_t now_ms)
{
    using Status = ImapResponse::Status;
    using Data = ImapResponse::Data;
    if (response.has_capabilities) {
        capabilities_ = response.capabilities;
        capabilities_known_ = true;
    }
    if (response.code == "UIDVALIDITY" && step_ == Step::Examine)
        examined_uidvalidity_ = response.code_number;
    if (response.code == "UIDNEXT" && step_ == Step::Examine)
        examined_uidnext_ = response.code_number;
    switch (response.status) {
    case Status::Bye:
        if (logout_wanted_) {
            close(CloseReason::LoggedOut);
        } else {
            log("the server ended the session: " + Printable(response.text));
            close(CloseReason::ServerBye);
        }
        return;
    case Status::Preauth:
        if (step_ != Step::Greeting)
            fail("PREAUTH after the greeting");
        else if (login_.starttls)
            fail("the server greeted with PREAUTH, so STARTTLS cannot protect the connection");
        else {
            logged_in_ = true;
            after_capabilities(now_ms);
        }
        return;
    case Status::Ok:
        if (step_ == Step::Greeting)
            after_capabilities(now_ms);
        return;
    case Status::No:
    case Status::Bad:
        log("server warning: " + Printable(response.text));
        return;
    case Status::None:
        break;
    }
    if (response.data == Data::Exists) {
        exists_ = response.number;
        exists_known_ = true;
        if (step_ == Step::Idling)
            send_done(AfterIdle::Check, now_ms);
        else if (step_ == Step::PollWait)
            send_check(now_ms);
        else
            recheck_ = true;
    } else if (response.data == Data::List && step_ == Step::List) {
        delimiter_ = response.list_delimiter;
    } else if (response.data == Data::Search && (step_ == Step::Check || step_ == Step::Baseline)) {
        for (uint32_t uid : response.search) {
            newest_uid_ = uid > newest_uid_ ? uid : newest_uid_;
            new_count_ += uid > state_.last_uid ? 1 : 0;
            if (uid > state_.last_uid && step_ == Step::Check)
                new_uids_.push_back(uid);
        }
    } else if (response.data == Data::Fetch && step_ == Step::Baseline) {
        newest_uid_ = response.fetch_uid > newest_uid_ ? response.fetch_uid : newest_uid_;
    }
}

void ImapSession::on_continuation(const ImapResponse& response, int64_t now_ms)
{
    if (!pieces_.empty()) {
        push(MakeAction(Action::Kind::Send, std::move(pieces_.front())));
        pieces_.erase(pieces_.begin());
        waiting_since_ = now_ms;
    } else if (step_ == Step::Authenticate && !challenge_answered_) {
        answer_challenge(response.text);
    } else if (step_ == Step::IdleStart) {
        step_ = Step::Idling;
        idle_since_ = now_ms;
        if (logout_wanted_)
            send_done(AfterIdle::Logout, now_ms);
        else if (recheck_)
            send_done(AfterIdle::Check, now_ms);
    } else {
        fail("the server sent an unexpected continuation request");
    }
}

void ImapSession::on_tagged(const ImapResponse& response, int64_t now_ms)
{
    if (tag_.empty() || response.tag != tag_) {
        fail("the server answered a command that was never sent: " + Printable(response.tag));
        return;
    }
    tag_.clear();
    pieces_.clear();
    if (response.has_capabilities) {
        capabilities_ = response.capabilities;
        capabilities_known_ = true;
    }
    if (response.status == ImapResponse::Status::Bad && step_ != Step::Login && step_ != Step::Authenticate
        && step_ != Step::Fetch) {
        fail("the server rejected a command: " + Printable(response.text));
        return;
    }
    bool ok = response.status == ImapResponse::Status::Ok;
    if (logout_wanted_ && step_ != Step::Logout) {
        if (step_ == Step::StartTls)
            close(CloseReason::LoggedOut);
        else
            send_logout(now_ms);
        return;
    }
    switch (step_) {
    case Step::Capability:
        if (!ok || !capabilities_known_)
            fail("the server sent no capabilities");
        else
            after_capabilities(now_ms);
        break;
    case Step::StartTls:
        if (ok) {
            step_ = Step::TlsHandshake; // StartTls is asked for once nothing else is buffered
        } else {
            log("the server refused STARTTLS: " + Printable(response.text));
            close(CloseReason::NoStartTls);
        }
        break;
    case Step::Login:
        if (ok) {
            after_login(response, now_ms);
        } else {
            log("login refused for " + Printable(login_.user) + ": " + Printable(response.text));
            close(CloseReason::LoginFailed);
        }
        break;
    case Step::Authenticate:
        if (ok) {
            after_login(response, now_ms);
        } else if (response.status == ImapResponse::Status::Bad) {
            log("the server does not accept AUTHENTICATE "
                + std::string(mechanism_ == AuthMethod::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER") + ": "
                + Printable(response.text));
            close(CloseReason::LoginFailed);
        } else {
            log("the server refused the token for " + Printable(login_.user) + ": " + Printable(response.text)
                + (refusal_.empty() ? "" : " " + refusal_));
            close(CloseReason::TokenRejected);
        }
        break;
    case Step::List:
        delimiter_known_ = true; // a refusal leaves the names as written
        open_folder(now_ms);
        break;
    case Step::Examine:
        if (ok) {
            after_examine(now_ms);
        } else {
            log("cannot open folder " + folder_name() + ": " + Printable(response.text));
            close(CloseReason::NoMailbox);
        }
        break;
    case Step::Baseline:
        after_baseline_search(now_ms); // a refusal is one answer fewer
        break;
    case Step::Check:
        if (ok)
            after_check(now_ms);
        else
            fail("the server refused to search: " + Printable(response.text));
        break;
    case Step::Fetch:
        if (!ok)
            log("the server refused to fetch the new messages' headers: " + Printable(response.text));
        after_fetch(now_ms);
        break;
    case Step::IdleDone:
        if (!ok)
            fail("IDLE failed: " + Printable(response.text));
        else if (after_idle_ == AfterIdle::Noop)
            send_command("NOOP", Step::Noop, now_ms);
        else
            send_check(now_ms);
        break;
    case Step::Noop:
        if (ok)
            send_check(now_ms);
        else
            fail("the server refused NOOP: " + Printable(response.text));
        break;
    case Step::Logout:
        close(CloseReason::LoggedOut);
        break;
    default:
        fail("the server ended a command out of turn: " + Printable(response.text));
        break;
    }
}

void ImapSession::after_capabilities(int64_t now_ms)
{
    if (!capabilities_known_) {
        send_command("CAPABILITY", Step::Capability, now_ms);
    } else if (logged_in_) {
        open_folder(now_ms);
    } else if (login_.starttls && !tls_done_) {
        if (HasCapability(capabilities_, "STARTTLS")) {
            send_command("STARTTLS", Step::StartTls, now_ms);
        } else {
            log("the server does not offer STARTTLS");
            close(CloseReason::NoStartTls);
        }
    } else {
        send_login(now_ms);
    }
}

void ImapSession::send_login(int64_t now_ms)
{
    if (!login_.credentials_may_be_sent) {
        fail("refusing to send the password or token over an unencrypted connection");
        return;
    }
    AuthMethod method = login_.auth;
    if (method == AuthMethod::Auto && !login_.token.empty()) {
        method = HasCapability(capabilities_, "AUTH=OAUTHBEARER") ? AuthMethod::OAuthBearer
            : HasCapability(capabilities_, "AUTH=XOAUTH2")        ? AuthMethod::XOAuth2
                                                                  : AuthMethod::Auto;
        if (method == AuthMethod::Auto) {
            log("the server offers neither AUTH=OAUTHBEARER nor AUTH=XOAUTH2 for the token");
            close(CloseReason::LoginFailed);
            return;
        }
    }
    if (method == AuthMethod::XOAuth2 || method == AuthMethod::OAuthBearer) {
        send_authenticate(method, now_ms);
        return;
    }
    if (HasCapability(capabilities_, "LOGINDISABLED")) {
        log("the server does not allow LOGIN on this connection (LOGINDISABLED)");
        close(CloseReason::LoginFailed);
        return;
    }
    bool literal_plus = HasCapability(capabilities_, "LITERAL+");
    std::vector<std::string> pieces { "LOGIN " };
    AppendImapString(pieces, login_.user, literal_plus);
    pieces.back() += ' ';
    AppendImapString(pieces, login_.password, literal_plus);
    send_pieces(std::move(pieces), Step::Login, now_ms);
}

// A forced mechanism is tried even when the server does not advertise it.
void ImapSession::send_authenticate(AuthMethod method, int64_t now_ms)
{
    mechanism_ = method;
    challenge_answered_ = false;
    refusal_.clear();
    bool xoauth2 = method == AuthMethod::XOAuth2;
    std::string response
        = Base64Encode(xoauth2 ? XOAuth2Response(login_.user, login_.token)
                               : OAuthBearerResponse(login_.user, login_.host, login_.port, login_.token));
    add_secret(response);
    std::string command = std::string("AUTHENTICATE ") + (xoauth2 ? "XOAUTH2" : "OAUTHBEARER");
    if (HasCapability(capabilities_, "SASL-IR"))
        send_command(command + " " + response, Step::Authenticate, now_ms);
    else
        send_pieces({ command + "\r\n", response }, Step::Authenticate, now_ms);
}

// A refused token comes back as "+ <base64 JSON>"; the exchange ends with
// an empty response (XOAUTH2) or ^A (RFC 7628), and then the tagged NO.
void ImapSession::answer_challenge(const std::string& challenge)
{
    challenge_answered_ = true;
    std::string json;
    refusal_ = Printable(Base64Decode(challenge, &json) ? json : challenge).substr(0, 200);
    push(MakeAction(Action::Kind::Send, mechanism_ == AuthMethod::XOAuth2 ? "\r\n" : Base64Encode("\x01") + "\r\n"));
}

void ImapSession::after_login(const ImapResponse& response, int64_t now_ms)
{
    logged_in_ = true;
    capabilities_known_ = response.has_capabilities; // they may differ once logged in
    after_capabilities(now_ms);
}

void ImapSession::open_folder(int64_t now_ms)
{
    if (login_.folder.find('/') != std::string::npos && !delimiter_known_) {
        send_command("LIST \"\" \"\"", Step::List, now_ms);
        return;
    }
    if (!ServerMailboxName(login_.folder, delimiter_, &mailbox_)) {
        fail("the folder name is not valid text: " + Printable(login_.folder));
        return;
    }
    std::vector<std::string> pieces { "EXAMINE " };
    AppendImapString(pieces, mailbox_, HasCapability(capabilities_, "LITERAL+"));
    send_pieces(std::move(pieces), Step::Examine, now_ms);
}

void ImapSession::after_examine(int64_t now_ms)
{
    if (examined_uidvalidity_ == 0) {
        fail("the server sent no UIDVALIDITY for " + folder_name());
        return;
    }
    if (login_.check_only) {
        push(MakeAction(Action::Kind::Examined, {},
            folder_name() + ": " + std::to_string(exists_) + " messages, UIDVALIDITY "
                + std::to_string(examined_uidvalidity_)));
        send_logout(now_ms);
        return;
    }
    if (state_.known && state_.uidvalidity == examined_uidvalidity_) {
        state_.uidvalidity_changes = 0;
        send_check(now_ms);
        return;
    }
    const uint32_t before = state_.known ? state_.uidvalidity_changes : 0;
    if (state_.known) {
        std::string change = " in " + folder_name() + " from " + std::to_string(state_.uidvalidity) + " to "
            + std::to_string(examined_uidvalidity_);
        if (before == 0)
            log("UIDVALIDITY changed" + change + "; counting starts again from the newest message");
        else if (before + 1 == kUidValidityChangesTold)
            log("UIDVALIDITY changed again" + change
                + ": this server does not keep its UIDs, so mail that arrives while the watcher is stopped cannot be"
                  " counted there");
    }
    state_.uidvalidity_changes = !state_.known ? 0
        : before < kUidValidityChangesTold     ? before + 1
                                               : kUidValidityChangesTold;
    baseline_searched_ = false;
    // Every server must send UIDNEXT; the newest UID itself is asked for too,
    // since a server's UIDNEXT may lag behind or be missing.
    newest_uid_ = examined_uidnext_ > 0 ? examined_uidnext_ - 1 : 0;
    if (exists_known_ && exists_ == 0)
        baseline(newest_uid_, now_ms); // nothing there to count, whatever UIDNEXT says
    else
        send_command("UID FETCH * (UID)", Step::Baseline, now_ms);
}

// Some servers answer "UID SEARCH UID *" with nothing in a folder that holds
// messages: it is only the last resort, and a folder whose newest UID nobody
// named is an error, never a baseline at 0 that would count all its mail.
void ImapSession::after_baseline_search(int64_t now_ms)
{
    if (newest_uid_ > 0) {
        baseline(newest_uid_, now_ms);
    } else if (!baseline_searched_) {
        baseline_searched_ = true;
        send_command("UID SEARCH UID *", Step::Baseline, now_ms);
    } else {
        fail("cannot find the newest message in " + folder_name() + " (" + std::to_string(exists_)
            + " messages): the server named no UID");
    }
}

// The check that follows is part of the baseline: what it finds was there
// already, whatever UIDNEXT said. Only then is the baseline stored.
void ImapSession::baseline(uint32_t newest_uid, int64_t now_ms)
{
    state_ = { true, examined_uidvalidity_, newest_uid, state_.uidvalidity_changes };
    baseline_pending_ = true;
    send_check(now_ms);
}

void ImapSession::finish_baseline()
{
    baseline_pending_ = false;
    Action action = MakeAction(Action::Kind::Baseline);
    action.state = state_;
    push(std::move(action));
}

// Only UIDs above the last counted one are new: "n:*" also returns the
// newest UID when it is below n.
void ImapSession::send_check(int64_t now_ms)
{
    recheck_ = false;
    newest_uid_ = 0;
    new_count_ = 0;
    new_uids_.clear();
    if (state_.last_uid == UINT32_MAX) {
        if (baseline_pending_)
            finish_baseline();
        idle_or_poll(now_ms);
        return;
    }
    send_command("UID SEARCH UID " + std::to_string(state_.last_uid + 1) + ":* UNSEEN", Step::Check, now_ms);
}

void ImapSession::after_check(int64_t now_ms)
{
    if (baseline_pending_) {
        if (new_count_ > 0) {
            log("the server named UID " + std::to_string(state_.last_uid) + " as the newest in " + folder_name()
                + ", yet it holds UID " + std::to_string(newest_uid_) + "; counting starts after that");
            state_.last_uid = newest_uid_;
        }
        finish_baseline();
    } else if (new_count_ > 0) {
        state_.last_uid = newest_uid_;
        Action count = MakeAction(Action::Kind::Count);
        count.count = new_count_;
        count.state = state_;
        push(std::move(count));
        if (login_.fetch_headers) {
            fetched_.clear();
            send_command(HeaderFetchCommand(new_uids_), Step::Fetch, now_ms);
            return;
        }
    }
    if (recheck_)
        send_check(now_ms);
    else
        idle_or_poll(now_ms);
}

// Only the UIDs asked for, each once: a server cannot fill memory with answers.
bool ImapSession::take_fetched(const std::string& line)
{
    uint32_t uid = 0;
    std::string header;
    if (line.compare(0, 2, "* ") != 0 || !ParseFetchHeader(line, &uid, &header))
        return false;
    const bool asked = std::find(new_uids_.begin(), new_uids_.end(), uid) != new_uids_.end();
    const bool again = std::any_of(
        fetched_.begin(), fetched_.end(), [uid](const std::pair<uint32_t, std::string>& f) { return f.first == uid; });
    if (asked && !again && fetched_.size() < kHeaderFetchBatch)
        fetched_.emplace_back(uid, std::move(header));
    return true;
}

// The count went first; whatever headers came follow it, newest first.
void ImapSession::after_fetch(int64_t now_ms)
{
    std::sort(fetched_.begin(), fetched_.end(),
        [](const std::pair<uint32_t, std::string>& a, const std::pair<uint32_t, std::string>& b) {
            return a.first > b.first;
        });
    if (!fetched_.empty()) {
        Action action = MakeAction(Action::Kind::Headers);
        for (auto& entry : fetched_)
            action.headers.push_back(std::move(entry.second));
        push(std::move(action));
    }
    fetched_.clear();
    if (recheck_)
        send_check(now_ms);
    else
        idle_or_poll(now_ms);
}

void ImapSession::idle_or_poll(int64_t now_ms)
{
    ++checks_done_;
    idling_ = HasCapability(capabilities_, "IDLE");
    if (idling_) {
        send_command("IDLE", Step::IdleStart, now_ms);
    } else {
        step_ = Step::PollWait;
        next_poll_ = Later(now_ms, timings_.poll_ms);
    }
}

void ImapSession::send_command(std::string command, Step step, int64_t now_ms)
{
    send_pieces({ std::move(command) }, step, now_ms);
}

void ImapSession::send_pieces(std::vector<std::string> pieces, Step step, int64_t now_ms)
{
    tag_ = "a" + std::to_string(next_tag_++);
    pieces.front().insert(0, tag_ + " ");
    pieces.back() += "\r\n";
    push(MakeAction(Action::Kind::Send, std::move(pieces.front())));
    pieces.erase(pieces.begin());
    pieces_ = std::move(pieces);
    step_ = step;
    waiting_since_ = now_ms;
}

void ImapSession::send_done(AfterIdle next, int64_t now_ms)
{
    push(MakeAction(Action::Kind::Send, "DONE\r\n"));
    after_idle_ = next;
    step_ = Step::IdleDone;
    waiting_since_ = now_ms;
}

void ImapSession::send_logout(int64_t now_ms)
{
    logout_wanted_ = true;
    send_command("LOGOUT", Step::Logout, now_ms);
}

bool ImapSession::awaiting_tls() const { return step_ == Step::TlsHandshake; }

void ImapSession::after_tls(int64_t now_ms)
{
    login_.credentials_may_be_sent = true;
    after_capabilities(now_ms);
}

void ImapSession::tick(int64_t now_ms)
{
    if (closed() || now_ms < next_deadline())
        return;
    if (step_ == Step::Idling) {
        bool silent = now_ms >= Later(waiting_since_, timings_.keepalive_ms);
        send_done(silent ? AfterIdle::Noop : AfterIdle::Check, now_ms);
    } else if (step_ == Step::PollWait) {
        send_check(now_ms);
    } else if (logout_wanted_) {
        close(CloseReason::LoggedOut);
    } else {
        log("no answer from the server within " + std::to_string(timings_.response_timeout_ms / 1000) + " s");
        close(CloseReason::Timeout);
    }
}

void ImapSession::logout(int64_t now_ms)
{
    if (closed() || logout_wanted_)
        return;
    logout_wanted_ = true;
    if (step_ == Step::Idling)
        send_done(AfterIdle::Logout, now_ms);
    else if (step_ == Step::PollWait)
        send_logout(now_ms);
    else if (step_ == Step::Greeting || step_ == Step::TlsHandshake || !pieces_.empty())
        close(CloseReason::LoggedOut);
    // otherwise a command is in flight: LOGOUT follows its answer
}

bool ImapSession::leaving() const { return logout_wanted_; }

std::string ImapSession::folder_name() const
{
    std::string utf8;
    if (mailbox_.empty())
        return Printable(login_.folder);
    return Mutf7ToUtf8(mailbox_, &utf8) ? utf8 : Printable(mailbox_);
}

} // namespace mail
