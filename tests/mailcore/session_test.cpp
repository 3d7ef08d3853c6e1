// IMAP sessions against a scripted server (see transcript.h).
#include "tests/mailcore/transcript.h"
#include "watch/core/base64.h"
#include "watch/core/imap_session.h"

namespace {

using namespace mail;

struct Scenario {
    const char* name;
    ImapLogin login;
    FolderState state;
    std::vector<std::string> script;
    bool bytewise_too = true;
};

// ImapLogin: user, password, token, auth, host, port, folder, starttls,
// credentials_may_be_sent, check_only.
ImapLogin Login(bool starttls = false, bool may_send = true, const char* folder = "INBOX")
{
    return { "me", kPassword, "", AuthMethod::Auto, "", 0, folder, starttls, may_send, false };
}

// Logged in over implicit TLS, the folder known at UIDVALIDITY 7, last UID
// 12, nothing new, idling.
std::vector<std::string> Idling(std::vector<std::string> rest)
{
    std::vector<std::string> script { "S * OK [CAPABILITY IMAP4rev1 IDLE] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
        "S a1 OK [CAPABILITY IMAP4rev1 IDLE] in", "C a2 EXAMINE \"INBOX\"", "S * 3 EXISTS", "S * OK [UIDVALIDITY 7] ok",
        "S a2 OK [READ-ONLY] done", "C a3 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 12", "S a3 OK", "C a4 IDLE",
        "S + idling" };
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

const FolderState kKnown { true, 7, 12 };

// Logged in with IDLE to folder "x", EXAMINE sent, UIDVALIDITY 7 given; then `rest`.
Scenario Examined(const char* name, FolderState state, std::vector<std::string> rest)
{
    std::vector<std::string> script { "S * OK [CAPABILITY IMAP4rev1 IDLE] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
        "S a1 OK [CAPABILITY IMAP4rev1 IDLE] in", "C a2 EXAMINE \"x\"", "S * OK [UIDVALIDITY 7] ok" };
    script.insert(script.end(), rest.begin(), rest.end());
    return { name, Login(false, true, "x"), state, script };
}

ImapLogin TokenLogin(AuthMethod auth = AuthMethod::Auto)
{
    return { "me", "", kToken, auth, "imap.example.com", 993, "INBOX", false, true, false };
}

const char kWork[] = "\xE4\xBB\x95\xE4\xBA\x8B/\xE9\x87\x8D\xE8\xA6\x81"; // 仕事/重要

std::vector<Scenario> Scenarios()
{
    ImapLogin check { "me", kPassword, "", AuthMethod::Auto, "", 0,
        "\xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4", false, true, true };
    ImapLogin literal { "me", std::string(kPassword) + "\xC3\xA4", "", AuthMethod::Auto, "", 0, "INBOX", true, false,
        false };
    ImapLogin utf8_user { "\xE5\x90\x8D", kPassword, "", AuthMethod::Auto, "", 0, "a\"b\\c", false, true, false };
    ImapLogin long_secret = Login(); // as long as an access token
    for (int i = 0; i < 200; ++i)
        long_secret.password += kPassword;
    // Server text is cut at 32 KiB before masking: a password echoed with a "Z"
    // after it, the "Z" at the 32,768th byte and at the 32,769th.
    ImapLogin echoed = Login(), echoed_past = Login();
    while (echoed.password.size() < 32767)
        echoed.password += kPassword;
    echoed.password.resize(32767);
    echoed_past.password = echoed.password + "p";
    const auto echo = [](const ImapLogin& login, const char* logged) -> std::vector<std::string> {
        return { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"" + login.password + "\"",
            "S a1 NO " + login.password + "Z", logged, "CLOSE LoginFailed" };
    };
    // A refused token's challenge is kept to 200 characters of its JSON.
    const auto challenge = [](size_t length) -> std::vector<std::string> {
        const std::string json = "{\"status\":\"" + std::string(length - 14, '4') + "Z\"}";
        return { "S * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] hi", "C a1 AUTHENTICATE XOAUTH2", "S +",
            std::string("C ") + kXOAuth2, "S + " + Base64Encode(json), "C ", "S a1 NO bad",
            length <= 200 ? "LOG bad " + json + "$" : "LOG bad " + json.substr(0, 200) + "$", "CLOSE TokenRejected" };
    };
    ImapLogin odd_user = Login();
    odd_user.user = "a\"b\\c";
    std::vector<std::string> chatter; // all through the IDLE, never silent for a keepalive
    for (int ms = 90; ms < 1000; ms += 90)
        chatter.insert(chatter.end(), { "@" + std::to_string(ms), "S * OK still here" });
    chatter.insert(
        chatter.end(), { "@1000", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S a5 OK", "C a6 IDLE" });
    ImapLogin fetching = Login();
    fetching.fetch_headers = true;
    const std::string fetch = " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])";
    // 21 new: the newest 20 are asked for, and a 21st answer, though new, is not kept.
    std::string search = "S * SEARCH", asked = "C a6 UID FETCH ", kept = "HEADERS";
    std::vector<std::string> answers;
    for (int uid = 33; uid >= 13; --uid) {
        const std::string n = std::to_string(uid);
        search += " " + n;
        answers.push_back("S * 1 FETCH (UID " + n + " BODY[HEADER.FIELDS (FROM)] {13}\r\nSubject: " + n + "\r\n)");
        if (uid > 13) {
            asked += n + (uid > 14 ? "," : fetch);
            kept += " Subject: " + n + "|";
        }
    }
    std::vector<std::string> batch = Idling({ "S * 24 EXISTS", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN",
        search, "S a5 OK", "COUNT 21 7/33", asked });
    batch.insert(batch.end(), answers.begin(), answers.end());
    batch.insert(batch.end(), { "S a6 OK", kept, "C a7 IDLE" });
    return { { "the newest 20 headers of 21 new messages", fetching, kKnown, batch },
        { "headers after their count, newest first; unasked UIDs and flag changes pass", fetching, kKnown,
            Idling({ "S * 5 EXISTS", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 13 14",
                "S a5 OK", "COUNT 2 7/14", "C a6 UID FETCH 14,13" + fetch,
                "S * 1 FETCH (UID 13 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {12}\r\nSubject: a\r\n)",
                "S * 9 FETCH (UID 99 BODY[HEADER.FIELDS (FROM)] {2}\r\n\r\n)", "S * 1 FETCH (FLAGS (\\Recent))",
                "S * 2 FETCH (UID 14 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {12}\r\nSubject: b\r\n)",
                "S * 2 FETCH (UID 14 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {12}\r\nSubject: c\r\n)", "S a6 OK",
                "HEADERS Subject: b| Subject: a|", "C a7 IDLE" }) },
        { "a refused header fetch is logged; the count stands and watching goes on", fetching, kKnown,
            Idling({ "S * 4 EXISTS", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 13", "S a5 OK",
                "COUNT 1 7/13", "C a6 UID FETCH 13" + fetch, "S * 5 EXISTS", "S a6 BAD no", "LOG refused to fetch",
                "C a7 UID SEARCH UID 14:* UNSEEN", "S a7 OK", "C a8 IDLE" }) },
        { "first sight: baseline, then counts only what arrives later", Login(), {},
            { "S * OK [CAPABILITY IMAP4rev1 IDLE] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"", "S a1 OK in",
                "C a2 CAPABILITY", "S * CAPABILITY IMAP4rev1 IDLE", "S a2 OK", "C a3 EXAMINE \"INBOX\"", "S * 3 EXISTS",
                "S * OK [UIDVALIDITY 7]", "S * OK [UIDNEXT 13]", "S a3 OK", "C a4 UID FETCH * (UID)",
                "S * 3 FETCH (UID 12)", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 12", "S a5 OK",
                "BASELINE 7/12", "C a6 IDLE", "S + idling", "S * 4 EXISTS", "C DONE", "S a6 OK",
                "C a7 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 13", "S a7 OK", "COUNT 1 7/13", "C a8 IDLE",
                "S + idling", "logout", "C DONE", "S a8 OK", "C a9 LOGOUT", "S * BYE bye", "CLOSE LoggedOut" } },
        { "an empty folder without UIDNEXT baselines at 0", Login(), {},
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 EXAMINE \"INBOX\"", "S * 0 EXISTS", "S * OK [UIDVALIDITY 3]",
                "S a2 OK", "C a3 UID SEARCH UID 1:* UNSEEN", "S * SEARCH", "S a3 OK", "BASELINE 3/0", "logout",
                "C a4 LOGOUT", "lost", "CLOSE LoggedOut" } },
        Examined("servers' answers to a first look: UIDNEXT names the newest; an empty search adds nothing", {},
            { "S * 7 EXISTS", "S * OK [UIDNEXT 20]", "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 OK",
                "C a4 UID SEARCH UID 20:* UNSEEN", "S * SEARCH 19", "S a4 OK", "BASELINE 7/19", "C a5 IDLE" }),
        Examined("a FETCH that names a UID past UIDNEXT wins", {},
            { "S * 7 EXISTS", "S * OK [UIDNEXT 20]", "S a2 OK", "C a3 UID FETCH * (UID)",
                "S * 7 FETCH (FLAGS (\\Seen) UID 25)", "S a3 OK", "C a4 UID SEARCH UID 26:* UNSEEN", "S a4 OK",
                "BASELINE 7/25", "C a5 IDLE" }),
        Examined("UIDNEXT lower than an existing UID: the check after the baseline counts nothing", {},
            { "S * 7 EXISTS", "S * OK [UIDNEXT 5]", "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 NO later",
                "C a4 UID SEARCH UID 5:* UNSEEN", "S * SEARCH 5 9 6", "S a4 OK",
                "LOG named UID 4 as the newest in x, yet it holds UID 9", "BASELINE 7/9", "C a5 IDLE", "S + idling",
                "S * 8 EXISTS", "C DONE", "S a5 OK", "C a6 UID SEARCH UID 10:* UNSEEN", "S * SEARCH 10", "S a6 OK",
                "COUNT 1 7/10", "C a7 IDLE" }),
        Examined("no UIDNEXT and an empty FETCH: UID SEARCH UID * is the last resort", {},
            { "S * 7 EXISTS", "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 OK", "C a4 UID SEARCH UID *", "S * SEARCH 12",
                "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S a5 OK", "BASELINE 7/12", "C a6 IDLE" }),
        Examined("a folder with mail whose newest UID no answer names fails, never baselines at 0", {},
            { "S * 7 EXISTS", "S * OK [UIDNEXT 1]", "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 OK",
                "C a4 UID SEARCH UID *", "S * SEARCH", "S a4 OK", "LOG cannot find the newest message in x (7",
                "CLOSE ProtocolError" }),
        Examined("no EXISTS is no empty folder", {},
            { "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 OK", "C a4 UID SEARCH UID *", "S a4 NO", "LOG cannot find",
                "CLOSE ProtocolError" }),
        Examined("an empty folder starts after UIDNEXT - 1", {},
            { "S * 0 EXISTS", "S * OK [UIDNEXT 5]", "S a2 OK", "C a3 UID SEARCH UID 5:* UNSEEN", "S a3 OK",
                "BASELINE 7/4", "C a4 IDLE" }),
        Examined("the highest UID needs no check, but is a baseline too", {},
            { "S * 1 EXISTS", "S a2 OK", "C a3 UID FETCH * (UID)", "S * 1 FETCH (UID 4294967295)", "S a3 OK",
                "BASELINE 7/4294967295", "C a4 IDLE" }),
        Examined("UIDVALIDITY changed a second session in a row: said once", { true, 6, 12, 1 },
            { "S * 1 EXISTS", "S * OK [UIDNEXT 3]", "S a2 OK", "LOG UIDVALIDITY changed again",
                "C a3 UID FETCH * (UID)", "S a3 OK", "C a4 UID SEARCH UID 3:* UNSEEN", "S * SEARCH 2", "S a4 OK",
                "BASELINE 7/2/2", "C a5 IDLE" }),
        Examined("and not again at the third", { true, 6, 12, 2 },
            { "S * 1 EXISTS", "S * OK [UIDNEXT 3]", "S a2 OK", "C a3 UID FETCH * (UID)", "S a3 OK",
                "C a4 UID SEARCH UID 3:* UNSEEN", "S a4 OK", "BASELINE 7/2/2", "C a5 IDLE" }),
        Examined("a kept UIDVALIDITY starts the changes over", { true, 7, 12, 2 },
            { "S a2 OK", "C a3 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 13", "S a3 OK", "COUNT 1 7/13", "C a4 IDLE" }),
        { "STARTTLS, a literal password, polling without IDLE, seen mail not counted", literal, kKnown,
            { "S * OK hello", "C a1 CAPABILITY", "S * CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED", "S a1 OK",
                "C a2 STARTTLS", "S a2 OK begin", "STARTTLS", "tls", "C a3 CAPABILITY", "S * CAPABILITY IMAP4rev1",
                "S a3 OK", "C a4 LOGIN \"me\" {15}", "S + go", "C Sup3rSecretPw\xC3\xA4", "S a4 OK", "C a5 CAPABILITY",
                "S * CAPABILITY IMAP4rev1", "S a5 OK", "C a6 EXAMINE \"INBOX\"", "S * OK [UIDVALIDITY 7]", "S a6 OK",
                "C a7 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 15 18", "S a7 OK", "COUNT 2 7/18", "@499", "@500",
                "C a8 UID SEARCH UID 19:* UNSEEN", "S * SEARCH 18", "S a8 OK", "@1000",
                "C a9 UID SEARCH UID 19:* UNSEEN", "@1050", "LOG no answer", "CLOSE Timeout" } },
        { "LITERAL+ sends a non-ASCII user without waiting; quoted strings escaped", utf8_user, kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 LITERAL+] hi", "C a1 LOGIN {3+}\\r\\n\xE5\x90\x8D \"Sup3rSecretPw\"",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 EXAMINE \"a\\\"b\\\\c\"",
                "S a2 NO [NONEXISTENT] Mailbox doesn't exist", "LOG cannot open folder", "CLOSE NoMailbox" } },
        { "a new message while idling is counted once; EXPUNGE and FETCH are harmless", Login(), kKnown,
            Idling({ "S * 2 EXPUNGE", "S * 1 FETCH (FLAGS (\\Seen))", "S * 4 EXISTS", "C DONE", "S * 5 EXISTS",
                "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 13 14", "S a5 OK", "COUNT 2 7/14",
                "C a6 IDLE", "S + idling" }) },
        { "silence while idling: DONE and NOOP, then check", Login(), kKnown,
            Idling({ "@99", "@100", "C DONE", "S a4 OK", "C a5 NOOP", "S a5 OK", "C a6 UID SEARCH UID 13:* UNSEEN",
                "S a6 OK", "C a7 IDLE", "S + idling", "@199", "@200", "C DONE", "@249", "@250", "LOG no answer",
                "CLOSE Timeout" }) },
        { "a long IDLE is renewed even when the server keeps talking", Login(), kKnown, Idling(chatter) },
        { "mail arriving during a check is checked again before idling", Login(), kKnown,
            Idling({ "S * 4 EXISTS", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * 5 EXISTS",
                "S * SEARCH 13", "S a5 OK", "COUNT 1 7/13", "C a6 UID SEARCH UID 14:* UNSEEN", "S * SEARCH 13 14",
                "S a6 OK", "COUNT 1 7/14", "C a7 IDLE", "S * 6 EXISTS", "S + idling", "C DONE" }) },
        { "UIDVALIDITY changed: new baseline, nothing counted", Login(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 EXAMINE \"INBOX\"", "S * OK [UIDVALIDITY 8]", "S a2 OK",
                "LOG UIDVALIDITY changed", "C a3 UID FETCH * (UID)", "S * 1 FETCH (UID 2)", "S a3 OK",
                "C a4 UID SEARCH UID 3:* UNSEEN", "S * SEARCH 2", "S a4 OK", "BASELINE 8/2/1" } },
        { "check mode reports the folder and logs out", check, kKnown,
            { "S * PREAUTH [CAPABILITY IMAP4rev1] hi", "C a1 EXAMINE \"&U9dP4TDIMOwwpA-\"", "S * 12 EXISTS",
                "S * OK [UIDVALIDITY 7]", "S a1 OK",
                "EXAMINED \xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4: 12 messages, UIDVALIDITY 7",
                "C a2 LOGOUT", "S a2 OK", "CLOSE LoggedOut" } },
        { "logout while a command is in flight waits for its answer", Login(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"", "logout", "S a1 OK",
                "C a2 LOGOUT", "@100", "CLOSE LoggedOut" } },
        { "a token by OAUTHBEARER (preferred) with SASL-IR, naming host and port", TokenLogin(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER] hi",
                "C a1 AUTHENTICATE OAUTHBEARER "
                "bixhPW1lLAFob3N0PWltYXAuZXhhbXBsZS5jb20BcG9ydD05OTMBYXV0aD1CZWFyZXIgeWEyOS50b2sBAQ==",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 EXAMINE \"INBOX\"" } },
        { "XOAUTH2 without SASL-IR; the failure challenge is answered with an empty line", TokenLogin(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] hi", "C a1 AUTHENTICATE XOAUTH2", "S +",
                std::string("C ") + kXOAuth2,
                "S + eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==",
                "C ", std::string("S a1 NO [AUTHENTICATIONFAILED] bad ya29.tok ") + kXOAuth2,
                "LOG refused the token for me: bad *** *** {\"status\":\"401\"", "CLOSE TokenRejected" } },
        { "OAUTHBEARER failure challenge is answered with ^A", TokenLogin(AuthMethod::OAuthBearer), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 SASL-IR] hi",
                "C a1 AUTHENTICATE OAUTHBEARER "
                "bixhPW1lLAFob3N0PWltYXAuZXhhbXBsZS5jb20BcG9ydD05OTMBYXV0aD1CZWFyZXIgeWEyOS50b2sBAQ==",
                "S + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJpbWFwIn0=", "C AQ==", "S + again",
                "LOG unexpected continuation", "CLOSE ProtocolError" } },
        { "forced XOAUTH2 although OAUTHBEARER is offered; NO without a challenge", TokenLogin(AuthMethod::XOAuth2),
            kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] hi",
                std::string("C a1 AUTHENTICATE XOAUTH2 ") + kXOAuth2, "S a1 NO expired", "LOG expired",
                "CLOSE TokenRejected" } },
        { "a token, but the server offers no token mechanism", TokenLogin(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] hi", "LOG neither", "CLOSE LoginFailed" } },
        { "AUTHENTICATE answered BAD is not the token's fault", TokenLogin(AuthMethod::OAuthBearer), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 AUTHENTICATE OAUTHBEARER", "S a1 BAD unknown mechanism",
                "LOG unknown mechanism", "CLOSE LoginFailed" } },
        { "a nested folder takes the server's delimiter; logs show it readable", Login(false, true, kWork), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 LIST \"\" \"\"", "S * LIST (\\Noselect) \".\" \"\"",
                "S a2 OK", "C a3 EXAMINE \"&TtVOiw-.&kc2JgQ-\"", "S a3 NO [NONEXISTENT] no such folder",
                "LOG cannot open folder \xE4\xBB\x95\xE4\xBA\x8B.\xE9\x87\x8D\xE8\xA6\x81: no such",
                "CLOSE NoMailbox" } },
        { "login refused, a password echoed back masked whole (not cut first); no token, no OAUTHBEARER", long_secret,
            kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 AUTH=OAUTHBEARER] hi", "C a1 LOGIN \"me\" \"" + long_secret.password + "\"",
                "S a1 NO [AUTHENTICATIONFAILED] " + long_secret.password + " is wrong", "LOG *** is wrong",
                "CLOSE LoginFailed" } },
        { "a password echoed within the 32 KiB of server text kept is masked", echoed, kKnown,
            echo(echoed, "LOG for me: ***Z$") },
        { "past them the server's text is cut", echoed_past, kKnown, echo(echoed_past, "LOG for me: ***$") },
        { "a refused token's challenge of 200 characters is logged whole", TokenLogin(), kKnown, challenge(200) },
        { "of 201, cut", TokenLogin(), kKnown, challenge(201) },
        { "unsolicited BYE while idling", Login(), kKnown,
            Idling({ "S * BYE shutting down", "LOG shutting down", "CLOSE ServerBye" }) },
        { "connection lost while idling", Login(), kKnown, Idling({ "lost", "LOG lost", "CLOSE ConnectionLost" }) },
        { "LOGIN answered BAD is a refusal too", odd_user, kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"a\\\"b\\\\c\" \"Sup3rSecretPw\"", "S a1 BAD no",
                "LOG no", "CLOSE LoginFailed" } },
        { "no password in plaintext", Login(false, false), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "LOG unencrypted", "CLOSE ProtocolError" } },
        { "LOGINDISABLED", Login(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1 LOGINDISABLED] hi", "LOG LOGINDISABLED", "CLOSE LoginFailed" } },
        { "STARTTLS not offered", Login(true, false), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "LOG STARTTLS", "CLOSE NoStartTls" } },
        { "PREAUTH cannot be upgraded to TLS", Login(true, false), kKnown,
            { "S * PREAUTH hi", "LOG PREAUTH", "CLOSE ProtocolError" } },
        { "bytes after the STARTTLS OK are an injection", Login(true, false), kKnown,
            { "S * OK [CAPABILITY STARTTLS] hi", "C a1 STARTTLS", "S a1 OK go\r\n* CAPABILITY IMAP4rev1",
                "LOG STARTTLS", "CLOSE ProtocolError" },
            false }, // one byte at a time, the OK arrives alone and looks clean
        { "a partial response after the STARTTLS OK is an injection", Login(true, false), kKnown,
            { "S * OK [CAPABILITY STARTTLS] hi", "C a1 STARTTLS", "S a1 OK go\r\n* 1 FETCH {9}", "LOG STARTTLS",
                "CLOSE ProtocolError" },
            false },
        { "bytes before tls_ready are an injection", Login(true, false), kKnown,
            { "S * OK [CAPABILITY STARTTLS] hi", "C a1 STARTTLS", "S a1 OK go", "STARTTLS", "S * OK", "LOG STARTTLS",
                "CLOSE ProtocolError" } },
        { "EXAMINE without UIDVALIDITY", Login(), kKnown,
            { "S * OK [CAPABILITY IMAP4rev1] hi", "C a1 LOGIN \"me\" \"Sup3rSecretPw\"",
                "S a1 OK [CAPABILITY IMAP4rev1] in", "C a2 EXAMINE \"INBOX\"", "S a2 OK", "LOG UIDVALIDITY",
                "CLOSE ProtocolError" } },
        { "an unknown tag", Login(), kKnown, Idling({ "S zz OK", "LOG zz", "CLOSE ProtocolError" }) },
        { "BAD to our command", Login(), kKnown, Idling({ "S a4 BAD no", "LOG no", "CLOSE ProtocolError" }) },
        { "a UID that does not fit 32 bits", Login(), kKnown,
            Idling({ "S * 4 EXISTS", "C DONE", "S a4 OK", "C a5 UID SEARCH UID 13:* UNSEEN", "S * SEARCH 4294967296",
                "LOG understand", "CLOSE ProtocolError" }) },
        { "a huge literal ends the session before it arrives", Login(), kKnown,
            Idling({ "S * 1 FETCH (BODY[] {65537}", "LOG too long", "CLOSE TooLong" }) } };
}

TEST(ImapSession, ScriptedServer)
{
    for (const Scenario& scenario : Scenarios()) {
        for (int bytewise = 0; bytewise <= scenario.bytewise_too; ++bytewise) {
            ImapSession session(scenario.login, scenario.state, { 100, 1000, 50, 500 }, 0);
            Play(session, scenario.name, scenario.script, bytewise, { kPassword, kToken, kXOAuth2 });
        }
    }
}

} // namespace
