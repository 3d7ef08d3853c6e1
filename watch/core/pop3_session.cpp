#include "watch/core/pop3_session.h"

#include "watch/core/ascii_text.h"
#include "watch/core/base64.h"
#include "watch/core/header_text.h"
#include "watch/core/sasl_oauth.h"

namespace mail {

namespace {

    constexpr size_t kMaxCapabilities = 100;

    // "n ...": the message number of a UIDL or STAT answer, and how many bytes it took.
    bool ParseNumber(std::string_view text, uint32_t* value, size_t* used)
    {
        *used = LeadingDigits(text);
        return ParseUint32(text.substr(0, *used), value);
    }

    bool StartsWithWord(std::string_view line, std::string_view word)
    {
        return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ');
    }

    bool HasLineBreak(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos; }

    const char* MechanismName(AuthMethod method) { return method == AuthMethod::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER"; }

} // namespace

Pop3Session::Pop3Session(Pop3Login login, Pop3Seen seen, int64_t response_timeout_ms, int64_t now_ms)
    : login_(std::move(login))
    , seen_(std::move(seen))
    , timeout_ms_(response_timeout_ms)
    , waiting_since_(now_ms)
{
    add_secret(login_.password);
    add_secret(login_.token);
}

int64_t Pop3Session::next_deadline() const { return closed() ? INT64_MAX : Later(waiting_since_, timeout_ms_); }

const Pop3Seen& Pop3Session::seen() const { return seen_; }

void Pop3Session::receive(std::string_view bytes, int64_t now_ms)
{
    if (closed() || bytes.empty())
        return;
    waiting_since_ = now_ms;
    while (!bytes.empty() && !closed()) {
        if (step_ == Step::TlsHandshake) {
            fail("the server sent data between STLS and the TLS handshake");
            return;
        }
        size_t newline = bytes.find('\n');
        size_t take = newline == bytes.npos ? bytes.size() : newline + 1;
        // A header line may be long (RFC 5322 allows 998 bytes, senders send
        // more); past the header's bound the rest of it is dropped, not fatal.
        const bool header_line = step_ == Step::Top && multiline_;
        const size_t limit = header_line ? kHeaderLimit : kMaxPop3LineBytes;
        if (partial_.size() + take > limit && !header_line) {
            partial_.clear();
            fail("the server sent a line over " + std::to_string(kMaxPop3LineBytes) + " bytes", CloseReason::TooLong);
            return;
        }
        const size_t keep = partial_.size() + take > limit ? limit - partial_.size() : take;
        partial_.append(bytes.data(), keep);
        bytes.remove_prefix(take);
        if (newline == std::string_view::npos)
            break;
        std::string line = std::move(partial_);
        partial_.clear();
        if (keep == take)
            line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        handle(line, now_ms);
    }
    if (step_ == Step::TlsHandshake) {
        if (partial_.empty())
            push(MakeAction(Action::Kind::StartTls));
        else
            fail("the server sent data between STLS and the TLS handshake");
    }
}

void Pop3Session::handle(std::string_view line, int64_t now_ms)
{
    if (multiline_) {
        if (line == ".") {
            multiline_ = false;
            on_list_end(now_ms);
        } else {
            on_list_line(line.substr(!line.empty() && line[0] == '.' ? 1 : 0)); // dot-stuffed
        }
    } else if (StartsWithWord(line, "+OK")) {
        on_status(true, line.substr(line.size() > 3 ? 4 : 3), now_ms);
    } else if (StartsWithWord(line, "-ERR")) {
        on_status(false, line.substr(line.size() > 4 ? 5 : 4), now_ms);
    } else if ((step_ == Step::Auth || step_ == Step::AuthResult) && !line.empty() && line[0] == '+') {
        on_challenge(line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1), now_ms);
    } else {
        fail("cannot understand the server: " + Printable(line));
    }
}

void Pop3Session::on_status(bool ok, std::string_view text, int64_t now_ms)
{
    switch (step_) {
    case Step::Greeting:
        if (ok) {
            send("CAPA\r\n", Step::Capa, now_ms);
        } else {
            log("the server refused the connection: " + Printable(text));
            close(CloseReason::ServerBye);
        }
        break;
    case Step::Capa:
        capabilities_.clear();
        capabilities_known_ = false;
        if (ok)
            multiline_ = true;
        else
            after_capabilities(now_ms); // an RFC 1939 server without CAPA
        break;
    case Step::Stls:
        if (ok) {
            step_ = Step::TlsHandshake; // StartTls once nothing else is buffered
        } else {
            log("the server refused STLS: " + Printable(text));
            close(CloseReason::NoStartTls);
        }
        break;
    case Step::User:
    case Step::Pass:
    case Step::Auth:
    case Step::AuthResult:
        on_login_status(ok, text, now_ms);
        break;
    case Step::Uidl:
        if (ok) {
            ids_.clear();
            multiline_ = true;
            break;
        }
        if (!seen_.known || !seen_.by_count)
            log("the server does not list unique ids (UIDL): new mail is counted by the number of messages, "
                "which is approximate");
        send("STAT\r\n", Step::Stat, now_ms);
        break;
    case Step::Stat:
        if (ok)
            after_stat(text, now_ms);
        else
            fail("the server refused STAT: " + Printable(text));
        break;
    case Step::Top:
        if (ok) {
            multiline_ = true;
            headers_.emplace_back();
        } else {
            log("the server refused TOP, so no sender is shown: " + Printable(text));
            to_top_.clear();
            next_top(now_ms);
        }
        break;
    case Step::Quit:
        close(CloseReason::LoggedOut);
        break;
    default:
        fail("the server answered out of turn: " + Printable(text));
        break;
    }
}

void Pop3Session::on_list_line(std::string_view line)
{
    if (step_ == Step::Capa) {
        if (capabilities_.size() >= kMaxCapabilities)
            return;
        std::string upper = UpperAscii(line);
        size_t space = upper.find(' ');
        std::string name = upper.substr(0, space);
        capabilities_.push_back(name);
        if (name == "SASL") { // "SASL PLAIN LOGIN" is kept as "SASL PLAIN", "SASL LOGIN"
            for (size_t at = space; at != upper.npos && capabilities_.size() < kMaxCapabilities;) {
                size_t end = upper.find(' ', at + 1);
                capabilities_.push_back("SASL " + upper.substr(at + 1, end - at - 1));
                at = end;
            }
        }
        return;
    }
    if (step_ == Step::Top) {
        std::string& header = headers_.back();
        if (header.size() < kHeaderLimit)
            header.append(line).append("\r\n");
        return;
    }
    // "n id": the id is 1 to 70 printable characters.
    uint32_t number = 0;
    size_t used = 0;
    bool ok = ParseNumber(line, &number, &used) && used < line.size() && line[used] == ' ';
    std::string_view id = ok ? line.substr(used + 1) : std::string_view();
    ok = ok && !id.empty() && id.size() <= kMaxPop3IdBytes;
    for (size_t i = 0; ok && i < id.size(); ++i)
        ok = id[i] > 0x20 && id[i] < 0x7f;
    if (!ok) {
        fail("cannot understand the server's UIDL line: " + Printable(line));
    } else if (ids_.size() >= kMaxPop3Messages) {
        fail("the server listed over " + std::to_string(kMaxPop3Messages) + " messages", CloseReason::TooLong);
    } else {
        ids_.emplace_back(id);
        last_number_ = number;
    }
}

void Pop3Session::on_list_end(int64_t now_ms)
{
    if (step_ == Step::Capa) {
        capabilities_known_ = true;
        after_capabilities(now_ms);
        return;
    }
    if (step_ == Step::Top) {
        if (headers_.back().size() > kHeaderLimit)
            headers_.back().resize(kHeaderLimit);
        next_top(now_ms);
        return;
    }
    const Pop3Tally counted = CountNewIds(seen_, ids_);
    tally(counted);
    ids_.clear();
    ids_.shrink_to_fit();
    fetch_headers(last_number_, counted.new_messages, now_ms);
}

void Pop3Session::after_capabilities(int64_t now_ms)
{
    if (!login_.starttls || tls_done_) {
        send_login(now_ms);
    } else if (offers("STLS")) {
        send("STLS\r\n", Step::Stls, now_ms);
    } else {
        log("the server does not offer STLS");
        close(CloseReason::NoStartTls);
    }
}

void Pop3Session::send_login(int64_t now_ms)
{
    if (!login_.credentials_may_be_sent) {
        fail("refusing to send the password or token over an unencrypted connection");
    } else if (!login_.token.empty()) {
        const AuthMethod method = login_.auth == AuthMethod::XOAuth2 || login_.auth == AuthMethod::OAuthBearer
            ? login_.auth
            : offers("SASL OAUTHBEARER") ? AuthMethod::OAuthBearer
            : offers("SASL XOAUTH2")     ? AuthMethod::XOAuth2
                                         : AuthMethod::Auto;
        if (method == AuthMethod::Auto)
            fail("the server offers neither SASL OAUTHBEARER nor SASL XOAUTH2 for the token", CloseReason::LoginFailed);
        else
            send_token(method, now_ms);
    } else if (HasLineBreak(login_.user) || HasLineBreak(login_.password)) {
        fail("the user name or the password holds a line break", CloseReason::LoginFailed);
    } else if (!capabilities_known_ || offers("USER")) {
        send("USER " + login_.user + "\r\n", Step::User, now_ms);
    } else if (offers("SASL PLAIN")) {
        response_ = Base64Encode(std::string(1, '\0') + login_.user + '\0' + login_.password);
        add_secret(response_);
        send("AUTH PLAIN\r\n", Step::Auth, now_ms);
    } else {
        fail("the server offers neither USER nor AUTH PLAIN", CloseReason::LoginFailed);
    }
}

void Pop3Session::on_login_status(bool ok, std::string_view text, int64_t now_ms)
{
    const bool token = mechanism_ != AuthMethod::Login;
    if (ok && step_ == Step::User) {
        send("PASS " + login_.password + "\r\n", Step::Pass, now_ms);
    } else if (ok) {
        after_login(now_ms);
    } else if (text.substr(0, 8) == "[IN-USE]" || text.substr(0, 10) == "[SYS/TEMP]") {
        log("the mailbox is busy, for example while the mail client downloads: " + Printable(text));
        close(CloseReason::ProtocolError); // the short back-off: the password is fine
    } else if (token && step_ == Step::Auth) { // refused before the token was sent
        log("the server does not accept AUTH " + std::string(MechanismName(mechanism_)) + ": " + Printable(text));
        close(CloseReason::LoginFailed);
    } else if (token) {
        log("the server refused the token for " + Printable(login_.user) + ": " + Printable(text)
            + (refusal_.empty() ? "" : " " + refusal_));
        close(CloseReason::TokenRejected);
    } else {
        log("login refused for " + Printable(login_.user) + ": " + Printable(text));
        close(CloseReason::LoginFailed);
    }
}

// Step::Auth: the server's "+ " asks for the response. Step::AuthResult: a
// refused token comes back as "+ <base64 JSON>", answered with an empty line
// (XOAUTH2) or ^A (RFC 7628) before the -ERR.
void Pop3Session::on_challenge(std::string_view challenge, int64_t now_ms)
{
    if (step_ == Step::Auth) {
        send(std::move(response_) + "\r\n", Step::AuthResult, now_ms);
        response_.clear();
    } else if (mechanism_ != AuthMethod::Login && !challenge_answered_) {
        challenge_answered_ = true;
        std::string json;
        refusal_ = Printable(Base64Decode(challenge, &json) ? json : challenge).substr(0, 200);
        send(mechanism_ == AuthMethod::XOAuth2 ? "\r\n" : Base64Encode("\x01") + "\r\n", Step::AuthResult, now_ms);
    } else {
        fail("the server sent an unexpected challenge: " + Printable(challenge));
    }
}

// A forced mechanism is tried even when CAPA does not list it. An access
// token from Microsoft or Google is over a kilobyte, so the response mostly
// follows the server's "+ ": that way no command line outgrows the bound.
void Pop3Session::send_token(AuthMethod method, int64_t now_ms)
{
    mechanism_ = method;
    challenge_answered_ = false;
    refusal_.clear();
    std::string response = Base64Encode(method == AuthMethod::XOAuth2
            ? XOAuth2Response(login_.user, login_.token)
            : OAuthBearerResponse(login_.user, login_.host, login_.port, login_.token));
    add_secret(response);
    std::string command = std::string("AUTH ") + MechanismName(method);
    if (command.size() + 1 + response.size() + 2 <= kMaxPop3CommandBytes) {
        send(command + " " + response + "\r\n", Step::AuthResult, now_ms);
    } else {
        response_ = std::move(response);
        send(command + "\r\n", Step::Auth, now_ms);
    }
}

// Always try UIDL: CAPA may leave it out, and -ERR says for certain.
void Pop3Session::after_login(int64_t now_ms)
{
    send(login_.check_only ? "STAT\r\n" : "UIDL\r\n", login_.check_only ? Step::Stat : Step::Uidl, now_ms);
}

void Pop3Session::after_stat(std::string_view text, int64_t now_ms)
{
    uint32_t messages = 0;
    size_t used = 0;
    if (!ParseNumber(text, &messages, &used)) {
        fail("cannot understand the server's STAT answer: " + Printable(text));
        return;
    }
    if (login_.check_only) {
        push(MakeAction(Action::Kind::Examined, {}, "POP3 mailbox: " + std::to_string(messages) + " messages"));
        send_quit(now_ms);
        return;
    }
    const Pop3Tally counted = CountByMessages(seen_, messages);
    tally(counted);
    fetch_headers(messages, counted.new_messages, now_ms);
}

void Pop3Session::fetch_headers(uint32_t newest_number, uint32_t new_messages, int64_t now_ms)
{
    to_top_.clear();
    headers_.clear();
    for (uint32_t i = 0; login_.fetch_headers && i < new_messages && i < kHeaderFetchBatch && i < newest_number; ++i)
        to_top_.push_back(newest_number - i);
    next_top(now_ms);
}

// One TOP at a time: POP3 has no pipelining to count on.
void Pop3Session::next_top(int64_t now_ms)
{
    if (to_top_.empty()) {
        if (!headers_.empty()) {
            Action action = MakeAction(Action::Kind::Headers);
            action.headers = std::move(headers_);
            headers_.clear();
            push(std::move(action));
        }
        send_quit(now_ms);
        return;
    }
    const uint32_t number = to_top_.front();
    to_top_.erase(to_top_.begin());
    send("TOP " + std::to_string(number) + " 0\r\n", Step::Top, now_ms);
}

void Pop3Session::tally(const Pop3Tally& tally)
{
    if (!seen_.known || seen_.by_count != tally.next.by_count) {
        size_t there = tally.next.by_count ? tally.next.messages : tally.next.ids.size();
        log("first look at this mailbox: " + std::to_string(there)
            + " messages already there; counting starts after them");
    }
    seen_ = tally.next;
    if (tally.new_messages == 0 && !tally.changed)
        return;
    Action action = MakeAction(tally.new_messages > 0 ? Action::Kind::Count : Action::Kind::Baseline);
    action.count = tally.new_messages;
    action.state = seen_;
    push(std::move(action));
}

// After logout() every command becomes QUIT.
void Pop3Session::send(std::string command, Step step, int64_t now_ms)
{
    if (quit_wanted_ && step != Step::Quit) {
        command = "QUIT\r\n";
        step = Step::Quit;
    }
    push(MakeAction(Action::Kind::Send, std::move(command)));
    step_ = step;
    waiting_since_ = now_ms;
}

void Pop3Session::send_quit(int64_t now_ms) { send("QUIT\r\n", Step::Quit, now_ms); }

bool Pop3Session::offers(std::string_view capability) const
{
    for (const std::string& name : capabilities_) {
        if (name == capability)
            return true;
    }
    return false;
}

bool Pop3Session::awaiting_tls() const { return step_ == Step::TlsHandshake; }

void Pop3Session::after_tls(int64_t now_ms)
{
    login_.credentials_may_be_sent = true;
    send("CAPA\r\n", Step::Capa, now_ms);
}

void Pop3Session::tick(int64_t now_ms)
{
    if (closed() || now_ms < next_deadline())
        return;
    if (step_ == Step::Quit) {
        close(CloseReason::LoggedOut);
        return;
    }
    log("no answer from the server within " + std::to_string(timeout_ms_ / 1000) + " s");
    close(CloseReason::Timeout);
}

void Pop3Session::logout(int64_t now_ms)
{
    (void)now_ms;
    if (closed() || quit_wanted_)
        return;
    quit_wanted_ = true;
    if (step_ == Step::Greeting || step_ == Step::TlsHandshake)
        close(CloseReason::LoggedOut);
    // otherwise a command is in flight: QUIT follows its answer
}

bool Pop3Session::leaving() const { return quit_wanted_ || step_ == Step::Quit; }

} // namespace mail
