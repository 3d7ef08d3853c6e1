#include "watch/core/mail_session.h"

namespace mail {

namespace {

    constexpr size_t kMaxLogText = 300;
    // Server text is cut before it reaches a log line, but not shorter than a
    // secret it might echo (a token is up to 16 KiB, a third more in base64),
    // so that the whole secret is still found and masked.
    constexpr size_t kMaxServerText = 32 * 1024;

    const char* const kCloseReasonTexts[]
        = { "connection ended", "logged out", "login failed", "the server offers no STARTTLS", "cannot open the folder",
              "the server sent too long a response", "the server stopped answering", "the server ended the session",
              "protocol error", "connection lost", "the server refused the token" };
    static_assert(sizeof kCloseReasonTexts / sizeof kCloseReasonTexts[0] == size_t(CloseReason::TokenRejected) + 1,
        "one text for each reason, in their order");

} // namespace

const char* CloseReasonText(CloseReason reason)
{
    const size_t index = static_cast<size_t>(reason);
    return index < sizeof kCloseReasonTexts / sizeof kCloseReasonTexts[0] ? kCloseReasonTexts[index]
                                                                          : kCloseReasonTexts[0];
}

void MailSession::tls_ready(int64_t now_ms)
{
    if (closed())
        return;
    if (!awaiting_tls()) {
        fail("TLS was set up at an unexpected time");
        return;
    }
    tls_done_ = true;
    capabilities_.clear(); // what the server said in plaintext may have been forged
    capabilities_known_ = false;
    after_tls(now_ms);
}

void MailSession::connection_lost(int64_t /*now_ms*/)
{
    if (closed())
        return;
    if (leaving()) {
        close(CloseReason::LoggedOut);
    } else {
        log("the connection to the server was lost");
        close(CloseReason::ConnectionLost);
    }
}

bool MailSession::next_action(Action& out)
{
    if (actions_.empty())
        return false;
    out = std::move(actions_.front());
    actions_.pop_front();
    return true;
}

void MailSession::add_secret(std::string secret)
{
    if (!secret.empty())
        secrets_.push_back(std::move(secret));
}

void MailSession::log(std::string text)
{
    for (const std::string& secret : secrets_) {
        for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    }
    if (text.size() > kMaxLogText)
        text.resize(kMaxLogText);
    push(MakeAction(Action::Kind::Log, {}, std::move(text)));
}

void MailSession::fail(std::string text, CloseReason reason)
{
    log(std::move(text));
    close(reason);
}

void MailSession::close(CloseReason reason)
{
    if (closed())
        return;
    Action action = MakeAction(Action::Kind::Close);
    action.reason = reason;
    actions_.push_back(std::move(action));
    closed_ = true;
}

void MailSession::push(Action action)
{
    if (!closed())
        actions_.push_back(std::move(action));
}

Action MailSession::MakeAction(Action::Kind kind, std::string bytes, std::string text)
{
    Action action;
    action.kind = kind;
    action.bytes = std::move(bytes);
    action.text = std::move(text);
    return action;
}

int64_t MailSession::Later(int64_t when, int64_t delay)
{
    return delay > 0 && when > INT64_MAX - delay ? INT64_MAX : when + delay;
}

std::string MailSession::Printable(std::string_view text)
{
    std::string result(text.substr(0, kMaxServerText));
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return result;
}

} // namespace mail
