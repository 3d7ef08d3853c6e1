// A scripted server for the protocol sessions. A script interleaves inputs:
// "S <line>" (CRLF added; may hold more CRLFs), "@<ms>" (clock, then tick),
// "tls", "logout", "lost"; with the actions the session must answer with.
// An expected "LOG x" matches any log line containing x; "LOG x$" one that ends with x.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "watch/core/mail_session.h"

namespace mail {

// What the scripted sessions sign in with: a password, a token, and the
// token as XOAUTH2 sends it ("user=me^Aauth=Bearer ya29.tok^A^A" in base64).
inline constexpr char kPassword[] = "Sup3rSecretPw";
inline constexpr char kToken[] = "ya29.tok";
inline constexpr char kXOAuth2[] = "dXNlcj1tZQFhdXRoPUJlYXJlciB5YTI5LnRvawEB";

// "HEADERS" lists each header with "|" for its line breaks.
// "COUNT n" and "BASELINE" carry "uidvalidity/last_uid" when a folder state is
// set, and "/changes" when UIDVALIDITY changed in sessions before.
inline std::string Render(const Action& action)
{
    const char* kinds[] = { "C ", "STARTTLS", "COUNT ", "BASELINE", "LOG ", "EXAMINED ", "CLOSE ", "HEADERS" };
    const char* reasons[] = { "None", "LoggedOut", "LoginFailed", "NoStartTls", "NoMailbox", "TooLong", "Timeout",
        "ServerBye", "ProtocolError", "ConnectionLost", "TokenRejected" };
    std::string bytes = action.bytes.substr(0, action.bytes.size() - 2);
    for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at))
        bytes.replace(at, 2, "\\r\\n");
    const FolderState* folder = std::get_if<FolderState>(&action.state);
    std::string state = !folder || folder->uidvalidity == 0
        ? ""
        : " " + std::to_string(folder->uidvalidity) + "/" + std::to_string(folder->last_uid)
            + (folder->uidvalidity_changes ? "/" + std::to_string(folder->uidvalidity_changes) : "");
    std::string headers; // " <header>" each, line breaks as "|"
    for (std::string header : action.headers) {
        for (size_t at = header.find("\r\n"); at != std::string::npos; at = header.find("\r\n", at))
            header.replace(at, 2, "|");
        headers += " " + header;
    }
    return kinds[static_cast<int>(action.kind)]
        + (action.kind == Action::Kind::Send            ? bytes
                : action.kind == Action::Kind::Count    ? std::to_string(action.count) + state
                : action.kind == Action::Kind::Baseline ? state
                : action.kind == Action::Kind::Close    ? reasons[static_cast<int>(action.reason)]
                : action.kind == Action::Kind::Headers  ? headers
                                                        : action.text);
}

// The server's bytes arrive whole or one byte at a time. Besides the
// transcript: nothing may come out after Close, and only a Send may hold a secret.
template <typename Session>
void Play(Session& session, const std::string& name, const std::vector<std::string>& script, bool bytewise,
    const std::vector<std::string>& secrets)
{
    SCOPED_TRACE(name + (bytewise ? " (byte by byte)" : ""));
    int64_t now = 0;
    std::vector<std::string> actual;
    bool closed = false;
    auto drain = [&] {
        for (Action action; session.next_action(action);) {
            EXPECT_FALSE(closed) << "an action after Close: " << Render(action);
            for (const std::string& secret : secrets)
                EXPECT_TRUE(action.kind == Action::Kind::Send || Render(action).find(secret) == std::string::npos)
                    << "only a Send may hold " << secret;
            closed = closed || action.kind == Action::Kind::Close;
            actual.push_back(Render(action));
        }
    };
    for (const std::string& line : script) {
        if (line.rfind("S ", 0) != 0 && line[0] != '@' && line != "tls" && line != "logout" && line != "lost")
            continue; // an expected action
        actual.push_back(line);
        std::string bytes = line.substr(2) + "\r\n";
        if (line[0] == 'S') {
            for (size_t at = 0; at < bytes.size(); at += bytewise ? 1 : bytes.size())
                session.receive(bytes.substr(at, bytewise ? 1 : bytes.size()), now);
        } else if (line[0] == '@') {
            now = std::stoll(line.substr(1));
            session.tick(now);
        } else if (line == "tls") {
            session.tls_ready(now);
        } else if (line == "logout") {
            session.logout(now);
        } else {
            session.connection_lost(now);
        }
        drain();
    }
    EXPECT_EQ(session.closed(), closed);
    if (closed) { // nothing may come out any more
        session.receive("* 9 EXISTS\r\n+ go\r\n+OK\r\n", now);
        session.tick(INT64_MAX - 1);
        session.logout(now);
        session.connection_lost(now);
        drain();
    }

    bool same = actual.size() == script.size();
    std::string got;
    for (size_t i = 0; i < actual.size(); ++i) {
        const std::string& want = i < script.size() ? script[i] : "";
        bool log = want.rfind("LOG ", 0) == 0 && actual[i].rfind("LOG ", 0) == 0;
        const bool at_end = log && want.back() == '$';
        const std::string part = log ? want.substr(4, want.size() - 4 - at_end) : want;
        const size_t found = log ? actual[i].rfind(part) : 0;
        same = same
            && (log ? found != std::string::npos && (!at_end || found + part.size() == actual[i].size())
                    : actual[i] == want);
        got += "  " + actual[i].substr(0, 200) + "\n";
    }
    EXPECT_TRUE(same) << "transcript:\n" << got;
}

} // namespace mail
