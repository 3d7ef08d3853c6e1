// POP3: a scripted server (see transcript.h) plays whole polls against the
// session, and a table checks what counts.
#include "tests/mailcore/transcript.h"
#include "watch/core/base64.h"
#include "watch/core/header_text.h"
#include "watch/core/pop3_session.h"
#include "watch/core/sasl_oauth.h"

namespace {

using namespace mail;

const char kPlain[] = "AG1lAFN1cDNyU2VjcmV0UHc="; // "\0me\0Sup3rSecretPw" in base64, as AUTH PLAIN sends it
// "n,a=me,^Ahost=pop.example.com^Aport=995^Aauth=Bearer ya29.tok^A^A"
const char kBearer[] = "bixhPW1lLAFob3N0PXBvcC5leGFtcGxlLmNvbQFwb3J0PTk5NQFhdXRoPUJlYXJlciB5YTI5LnRvawEB";
const char kRefusal[] = "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0="; // {"status":"401","schemes":"bearer"}

const Pop3Seen kSeenAB { true, false, 0, { "a", "b" } };

// `seen_after`: the ids the session leaves to persist, or "#n" for a message count.
struct Pop3Scenario {
    const char* name;
    Pop3Login login;
    std::vector<std::string> script;
    std::string seen_after = "a b";
    Pop3Seen seen = kSeenAB;
    bool bytewise_too = true;
};

std::string Describe(const Pop3Seen& seen)
{
    std::string text = seen.by_count ? "#" + std::to_string(seen.messages) : "";
    for (const std::string& id : seen.ids)
        text += (text.empty() ? "" : " ") + id;
    return text;
}

Pop3Login Login(bool starttls = false, bool may_send = true)
{
    Pop3Login login;
    login.user = "me";
    login.password = kPassword;
    login.starttls = starttls;
    login.credentials_may_be_sent = may_send;
    return login;
}

std::vector<std::string> Joined(std::vector<std::string> script, const std::vector<std::string>& rest)
{
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

// Greeting, CAPA with USER and UIDL, logged in; then `rest`.
std::vector<std::string> LoggedIn(const std::vector<std::string>& rest)
{
    return Joined({ "S +OK POP3 ready", "C CAPA", "S +OK", "S USER", "S UIDL", "S .", "C USER me", "S +OK",
                      "C PASS Sup3rSecretPw", "S +OK logged in" },
        rest);
}

Pop3Login TokenLogin(AuthMethod auth = AuthMethod::Auto, std::string token = kToken)
{
    Pop3Login login = Login();
    login.password.clear();
    login.token = std::move(token);
    login.auth = auth;
    login.host = "pop.example.com";
    login.port = 995;
    return login;
}

// Greeting and CAPA offering `sasl`; then `rest`.
std::vector<std::string> Offering(const std::string& sasl, const std::vector<std::string>& rest)
{
    return Joined({ "S +OK POP3 ready", "C CAPA", "S +OK", "S USER", "S SASL " + sasl, "S ." }, rest);
}

std::vector<Pop3Scenario> Scenarios()
{
    Pop3Login check = Login(), crlf = Login(), fetching = Login();
    check.check_only = true;
    fetching.fetch_headers = true;
    crlf.password = "pw\r\nDELE 1";
    std::string listing = "+OK"; // 100,000 ids; the limit is checked before each id is stored
    for (size_t i = 1; i <= 100000; ++i)
        listing += "\r\n" + std::to_string(i) + " " + std::to_string(i);
    std::vector<std::string> newest_ids; // what 100,000 new ids leave remembered: the newest 20,000
    for (size_t i = 80001; i <= 100000; ++i)
        newest_ids.push_back(std::to_string(i));
    // CAPA lines up to the 100 capabilities kept; "SASL X PLAIN" is three of them.
    std::vector<std::string> capa { "S +OK POP3 ready", "C CAPA", "S +OK" };
    for (int i = 1; i <= 97; ++i)
        capa.push_back("S X-" + std::to_string(i));
    const std::string refused(300 - 35, 'r'); // "the server refused the connection: " and this fill a log line
    std::vector<std::string> batch = LoggedIn({ "C UIDL", "S -ERR", "C STAT", "S +OK 21 9000", "COUNT 21" });
    std::string twenty_headers = "HEADERS";
    for (int n = 21; n > 1; --n) { // the newest 20 of 21
        batch.insert(
            batch.end(), { "C TOP " + std::to_string(n) + " 0", "S +OK", "S Subject: " + std::to_string(n), "S ." });
        twenty_headers += " Subject: " + std::to_string(n) + "|";
    }
    batch.insert(batch.end(), { twenty_headers, "C QUIT" });
    // AUTH with the response on its line: 255 bytes with the CRLF at most.
    const std::string longest(158, 't'), longer(159, 't');
    const std::string fits = Base64Encode(XOAuth2Response("me", longest)),
                      over = Base64Encode(XOAuth2Response("me", longer));
    return {
        { "a token by OAUTHBEARER, preferred when SASL lists both, the response on the AUTH line", TokenLogin(),
            Offering("PLAIN XOAUTH2 OAUTHBEARER",
                { std::string("C AUTH OAUTHBEARER ") + kBearer, "S +OK", "C UIDL", "S +OK", "S 1 a", "S 2 b", "S 3 c",
                    "S .", "COUNT 1", "C QUIT" }),
            "a b c" },
        { "XOAUTH2 refused: the error challenge answered with an empty line, then -ERR asks for a fresh token",
            TokenLogin(),
            Offering("PLAIN XOAUTH2",
                { std::string("C AUTH XOAUTH2 ") + kXOAuth2, std::string("S + ") + kRefusal, "C ",
                    "S -ERR [AUTH] Authentication failed",
                    "LOG refused the token for me: [AUTH] Authentication failed "
                    "{\"status\":\"401\",\"schemes\":\"bearer\"}",
                    "CLOSE TokenRejected" }) },
        { "a forced OAUTHBEARER though not offered; its refusal answered with ^A; one challenge only",
            TokenLogin(AuthMethod::OAuthBearer),
            Offering("PLAIN",
                { std::string("C AUTH OAUTHBEARER ") + kBearer, std::string("S + ") + kRefusal, "C AQ==", "S + again",
                    "LOG unexpected challenge", "CLOSE ProtocolError" }) },
        { "the longest AUTH line, 255 bytes with its CRLF, carries the response", TokenLogin(AuthMethod::Auto, longest),
            Offering("XOAUTH2",
                { "C AUTH XOAUTH2 " + fits, "S +OK", "C UIDL", "S +OK", "S 1 a", "S .", "BASELINE", "C QUIT" }),
            "a" },
        { "one base64 group longer, the response waits for the server's \"+\" (Microsoft's form)",
            TokenLogin(AuthMethod::Auto, longer),
            Offering("XOAUTH2", { "C AUTH XOAUTH2", "S +", "C " + over, "S +OK", "C UIDL" }) },
        { "a mechanism refused before the token is sent is a failed login, not a token to refresh",
            TokenLogin(AuthMethod::Auto, longer),
            Offering("XOAUTH2",
                { "C AUTH XOAUTH2", "S -ERR unknown mechanism", "LOG does not accept AUTH XOAUTH2",
                    "CLOSE LoginFailed" }) },
        { "neither token mechanism offered: nothing sent", TokenLogin(),
            Offering("PLAIN LOGIN", { "LOG neither SASL OAUTHBEARER nor SASL XOAUTH2", "CLOSE LoginFailed" }) },
        { "headers of the new messages with TOP n 0, newest first; a dot-stuffed line is header text", fetching,
            LoggedIn({ "C UIDL", "S +OK", "S 1 a", "S 2 b", "S 3 c", "S 4 d", "S .", "COUNT 2", "C TOP 4 0",
                "S +OK top follows", "S Subject: d", "S  folded", "S ..dot", "S .", "C TOP 3 0", "S +OK",
                "S From: c@example.com", "S .", "HEADERS Subject: d| folded|.dot| From: c@example.com|", "C QUIT",
                "S +OK", "CLOSE LoggedOut" }),
            "a b c d" },
        { "TOP refused: said once, no headers, QUIT", fetching,
            LoggedIn({ "C UIDL", "S +OK", "S 1 a", "S 2 b", "S 3 c", "S .", "COUNT 1", "C TOP 3 0", "S -ERR no",
                "LOG refused TOP", "C QUIT" }),
            "a b c" },
        { "a header line past the bound is cut, not fatal", fetching,
            LoggedIn(
                { "C UIDL", "S +OK", "S 1 c", "S .", "COUNT 1", "C TOP 1 0", "S +OK", "S X: " + std::string(8192, 'x'),
                    "S Subject: after", "S .", "HEADERS X: " + std::string(8192 - 3, 'x'), "C QUIT" }),
            "c" },
        { "nothing new, or no headers asked for: no TOP", Login(),
            LoggedIn({ "C UIDL", "S +OK", "S 1 a", "S 2 b", "S 3 c", "S .", "COUNT 1", "C QUIT" }), "a b c" },
        { "by count: the newest 20 of 21 new messages, one TOP at a time", fetching, batch, "#21",
            { true, true, 0, {} }, false },
        { "first sight: a baseline of the listed ids, then QUIT", Login(),
            LoggedIn({ "C UIDL", "S +OK 2 messages", "S 1 a", "S 2 b", "S .", "LOG 2 messages already", "BASELINE",
                "C QUIT", "S +OK bye", "CLOSE LoggedOut" }),
            "a b", {} },
        { "new ids counted, deleted ones forgotten, a dot-stuffed line is no end", Login(),
            { "S +OK POP3 ready", "C CAPA", "S +OK", "S ..X-ODD", "S USER", "S .", "C USER me", "S +OK",
                "C PASS Sup3rSecretPw", "S +OK", "C UIDL", "S +OK", "S 1 b", "S 2 c", "S 3 .d", "S .", "COUNT 2",
                "C QUIT", "S +OK", "CLOSE LoggedOut" },
            "b c .d" },
        { "STLS, then CAPA again; AUTH PLAIN where USER is not offered", Login(true, false),
            { "S +OK hi", "C CAPA", "S +OK", "S STLS", "S USER", "S .", "C STLS", "S +OK go", "STARTTLS", "tls",
                "C CAPA", "S +OK", "S SASL PLAIN LOGIN", "S .", "C AUTH PLAIN", "S + ", "C AG1lAFN1cDNyU2VjcmV0UHc=",
                "S +OK", "C UIDL", "S +OK", "S 1 a", "S .", "BASELINE", "C QUIT", "S +OK", "CLOSE LoggedOut" },
            "a" },
        { "no UIDL: counted by STAT, said once to be approximate", Login(),
            LoggedIn({ "C UIDL", "S -ERR unknown command", "LOG approximate", "C STAT", "S +OK 5 1200",
                "LOG 5 messages", "BASELINE", "C QUIT", "S +OK", "CLOSE LoggedOut" }),
            "#5" },
        { "no UIDL, known by count: more messages count, no second log line", Login(),
            LoggedIn({ "C UIDL", "S -ERR", "C STAT", "S +OK 5 1200", "COUNT 2", "C QUIT" }), "#5",
            { true, true, 3, {} } },
        { "a server without CAPA; -ERR on PASS is a refused login, the echoed password not logged", Login(),
            { "S +OK", "C CAPA", "S -ERR what", "C USER me", "S +OK", "C PASS Sup3rSecretPw",
                "S -ERR [AUTH] Sup3rSecretPw is wrong", "LOG *** is wrong", "CLOSE LoginFailed" } },
        { "AUTH PLAIN refused, its response echoed back masked like the password", Login(),
            { "S +OK", "C CAPA", "S +OK", "S SASL PLAIN", "S .", "C AUTH PLAIN", "S + ", std::string("C ") + kPlain,
                std::string("S -ERR ") + kPlain + " is wrong", "LOG *** is wrong", "CLOSE LoginFailed" } },
        { "a locked mailbox is not a wrong password", Login(),
            { "S +OK", "C CAPA", "S -ERR", "C USER me", "S +OK", "C PASS Sup3rSecretPw", "S -ERR [IN-USE] locked",
                "LOG busy", "CLOSE ProtocolError" } },
        { "check mode reports the message count", check,
            LoggedIn({ "C STAT", "S +OK 12 3400", "EXAMINED POP3 mailbox: 12 messages", "C QUIT" }), "", {} },
        { "a line break in the password is never sent", crlf,
            { "S +OK", "C CAPA", "S -ERR", "LOG line break", "CLOSE LoginFailed" } },
        { "STLS not offered", Login(true, false), { "S +OK", "C CAPA", "S -ERR", "LOG STLS", "CLOSE NoStartTls" } },
        { "bytes after the STLS +OK are an injection", Login(true, false),
            { "S +OK", "C CAPA", "S +OK", "S STLS", "S .", "C STLS", "S +OK go\r\n+OK", "LOG STLS",
                "CLOSE ProtocolError" },
            "a b", kSeenAB, false }, // one byte at a time, the +OK arrives alone and looks clean
        { "the longest line, 512 bytes with its CRLF, is read", Login(),
            { "S +OK " + std::string(506, 'x'), "C CAPA" } },
        { "the 513th byte of a line ends the session, though more follows in the same read", Login(),
            { "S +OK " + std::string(507, 'x') + "\r\n+OK", "LOG 512", "CLOSE TooLong" } },
        { "100,000 ids are taken", Login(), LoggedIn({ "C UIDL", "S " + listing + "\r\n.", "COUNT 20000", "C QUIT" }),
            Describe({ true, false, 0, newest_ids }), kSeenAB, false },
        { "the 100,001st id ends the session", Login(),
            LoggedIn({ "C UIDL", "S " + listing + "\r\n100001 x", "LOG listed over", "CLOSE TooLong" }), "a b", kSeenAB,
            false },
        { "the 100th capability is kept", Login(), Joined(capa, { "S X-98", "S X-99", "S USER", "S .", "C USER me" }) },
        { "the 101st is not", Login(),
            Joined(capa, { "S X-98", "S X-99", "S X-100", "S USER", "S .", "LOG neither USER", "CLOSE LoginFailed" }) },
        { "a SASL line's mechanisms count too, up to the 100th", Login(),
            Joined(capa, { "S SASL X PLAIN", "S .", "C AUTH PLAIN" }) },
        { "past it they are not kept", Login(),
            Joined(capa, { "S X-98", "S SASL X PLAIN", "S .", "LOG neither USER", "CLOSE LoginFailed" }) },
        { "a log line holds 300 characters", Login(),
            { "S -ERR " + refused.substr(1) + "Z", "LOG connection: " + refused.substr(1) + "Z$", "CLOSE ServerBye" } },
        { "the 301st is cut", Login(),
            { "S -ERR " + refused + "Z", "LOG connection: " + refused + "$", "CLOSE ServerBye" } },
        { "an id of 70 characters is counted", Login(),
            LoggedIn({ "C UIDL", "S +OK", "S 1 " + std::string(70, 'x'), "S .", "COUNT 1", "C QUIT" }),
            std::string(70, 'x') },
        { "an id of 71 characters is refused", Login(),
            LoggedIn({ "C UIDL", "S +OK", "S 1 " + std::string(71, 'x'), "LOG UIDL", "CLOSE ProtocolError" }) },
        { "stop during UIDL: the listing still counts, then QUIT; no answer", Login(),
            LoggedIn(
                { "C UIDL", "S +OK", "S 1 c", "logout", "S .", "COUNT 1", "C QUIT", "@49", "@50", "CLOSE LoggedOut" }),
            "c" },
        { "the server goes away after QUIT without a word: logged out all the same", Login(),
            LoggedIn({ "C UIDL", "S +OK", "S 1 a", "S 2 b", "S .", "C QUIT", "lost", "CLOSE LoggedOut" }) },
        { "no answer", Login(), { "S +OK", "C CAPA", "@49", "@50", "LOG no answer", "CLOSE Timeout" }, "", {} },
    };
}

TEST(Pop3Session, ScriptedServer)
{
    for (const Pop3Scenario& scenario : Scenarios()) {
        for (int bytewise = 0; bytewise <= scenario.bytewise_too; ++bytewise) {
            Pop3Session session(scenario.login, scenario.seen, 50, 0);
            Play(session, scenario.name, scenario.script, bytewise, { kPassword, kPlain, kToken, kXOAuth2, kBearer });
            EXPECT_EQ(Describe(session.seen()), scenario.seen_after) << scenario.name;
        }
    }
}

// A cap of 0 stands for the default: the 20,000 ids remembered.
TEST(Pop3Count, CountsIdsNeverSeenAndForgetsDeletedOnes)
{
    const Pop3Seen first {}, cde { true, false, 0, { "c", "d", "e" } }, by_count { true, true, 4, {} };
    std::vector<std::string> over; // ids 1 to 20,001
    for (int i = 1; i <= 20001; ++i)
        over.push_back(std::to_string(i));
    const std::vector<std::string> most(over.begin(), over.end() - 1), newest(over.begin() + 1, over.end());
    const Pop3Seen seen_one { true, false, 0, { "1" } };
    const struct {
        const char* name;
        Pop3Seen seen;
        std::vector<std::string> listed;
        size_t cap;
        uint32_t expected;
        std::string next;
        bool changed;
    } cases[] = {
        { "first sight counts nothing", first, { "a", "b" }, 5, 0, "a b", true },
        { "new at the end, one deleted", cde, { "d", "e", "f", "g" }, 5, 2, "d e f g", true },
        { "all deleted, nothing new", cde, {}, 5, 0, "", true },
        { "unchanged", cde, { "c", "d", "e" }, 5, 0, "c d e", false },
        { "an id listed twice is one message", cde, { "c", "f", "f" }, 5, 1, "c f", true },
        { "over the cap: the oldest are taken as seen", cde, { "a", "b", "c", "d", "e", "f" }, 3, 1, "d e f", true },
        { "from counting messages to ids: a new baseline", by_count, { "a" }, 5, 0, "a", true },
        { "20,000 ids are all remembered", seen_one, most, 0, 19999, Describe({ true, false, 0, most }), true },
        { "of 20,001 the oldest is taken as seen", seen_one, over, 0, 20000, Describe({ true, false, 0, newest }),
            true },
    };
    for (const auto& c : cases) {
        Pop3Tally tally = c.cap ? CountNewIds(c.seen, c.listed, c.cap) : CountNewIds(c.seen, c.listed);
        EXPECT_TRUE(tally.new_messages == c.expected && Describe(tally.next) == c.next && tally.changed == c.changed
            && tally.next.known && !tally.next.by_count)
            << c.name << ": " << tally.new_messages << " [" << Describe(tally.next).substr(0, 80) << "]";
    }
}

} // namespace
