#include <gtest/gtest.h>

#include <math.h>

#include <string>

#include "watch/core/account_rules.h"
#include "watch/core/account_values.h"
#include "watch/core/backoff.h"
#include "watch/core/mailbox_name.h"
#include "watch/core/mutf7.h"
#include "watch/core/sasl_oauth.h"
#include "watch/core/token_output.h"
#include "watch/core/watch_state.h"

namespace {

using namespace mail;

// Both ways; then what one side refuses (nullptr on the other): no closing
// '-', "a" written encoded, lone surrogates, leftover or non-zero padding
// bits, '/' (not in this alphabet), one run written as two, unencoded
// non-printables; cut, overlong, surrogate, out-of-range and stray UTF-8.
TEST(Mutf7, ConvertsBothWaysAndRejectsInvalidInput)
{
    const struct {
        const char* utf8;
        const char* mutf7;
    } cases[] = { { "INBOX", "INBOX" }, { "", "" }, { "&", "&-" }, { "a&b&&", "a&-b&-&-" },
        { "\xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4", "&U9dP4TDIMOwwpA-" },
        { "~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
            "~peter/mail/&U,BTFw-/&ZeVnLIqe-" },
        { "Entw\xC3\xBCrfe", "Entw&APw-rfe" }, { "\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail" }, { "a\tb", "a&AAk-b" },
        { "\xC3\xA9&\xC3\xA9", "&AOk-&-&AOk-" }, { nullptr, "&U9dP4TDIMOwwpA" }, { nullptr, "&AGE-" },
        { nullptr, "&2D0-" }, { nullptr, "&3nA-" }, { nullptr, "&AOk" }, { nullptr, "&A-" }, { nullptr, "&AOl-" },
        { nullptr, "&AO/-" }, { nullptr, "&AOk-&AOk-" }, { nullptr, "a\tb" }, { nullptr, "\xC3\xA9" },
        { "\xC3", nullptr }, { "\xC0\xAF", nullptr }, { "\xED\xA0\x80", nullptr }, { "\xF4\x90\x80\x80", nullptr },
        { "\x80", nullptr }, { "a\xE3\x81", nullptr } };
    for (const auto& c : cases) {
        std::string out;
        if (c.utf8) {
            EXPECT_EQ(Utf8ToMutf7(c.utf8, &out) ? out : "refused", c.mutf7 ? c.mutf7 : "refused") << c.utf8;
        }
        if (c.mutf7) {
            EXPECT_EQ(Mutf7ToUtf8(c.mutf7, &out) ? out : "refused", c.utf8 ? c.utf8 : "refused") << c.mutf7;
        }
    }
}

TEST(Backoff, DoublesFromOneSecondToFiveMinutesAndWaitsLongAfterARefusedLogin)
{
    const struct {
        int failures;
        bool login_refused;
        double jitter;
        int64_t expected_ms;
    } cases[] = {
        { 1, false, 0.0, 750 }, { 1, false, 0.999999, 999 }, { 2, false, 0.0, 1500 }, { 5, false, 0.5, 14000 },
        { 9, false, 0.0, 192000 }, { 10, false, 0.0, 225000 }, { 10, false, 0.999999, 299999 },
        { 1000000, false, 0.0, 225000 }, { 0, false, 0.0, 750 }, { -3, false, 0.0, 750 }, { 1, false, NAN, 750 },
        { 1, false, 7.0, 750 }, { 1, true, 0.0, 30 * 60 * 1000 }, { 50, true, 0.999999, 2099999 },
        { 1, true, -1.0, 30 * 60 * 1000 } // never below 30 min
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReconnectDelayMs(c.failures, c.login_refused, c.jitter), c.expected_ms)
            << c.failures << " " << c.login_refused << " " << c.jitter;
}

TEST(WatchState, KeepsFoldersAndPop3IdsUnderAnyNames)
{
    WatchState state;
    state[{ "home", "INBOX" }] = { true, 7, 12 };
    state[{ "\x83\x81\x81\x5B\x83\x8B %\t\r\n:", "&U9dP4TDIMOwwpA-" }] = { true, 1, 0 }; // CP932 bytes and separators
    state[{ "home", "INBOX.x y" }] = { true, UINT32_MAX, UINT32_MAX };
    state[{ "home", "Lists" }] = { true, 9, 3, kUidValidityChangesTold }; // the most changes it tells apart
    state[{ "new", "INBOX" }] = { false, 3, 4 }; // left out, like entries the parser would refuse
    state[{ "", "INBOX" }] = { true, 5, 5 };
    Pop3State pop3;
    pop3["isp"] = { true, false, 0, { "a%b", "~!", std::string(70, 'x') } };
    pop3["old \x83\x81"] = { true, true, 31, {} };
    pop3["empty"] = { true, false, 0, {} };
    pop3["new"] = {};
    pop3["spaced"] = { true, false, 0, { "a b" } };
    std::string text = SerializeWatchState(state, pop3);
    EXPECT_EQ(text,
        "larkbellwatch-state 2\nimap home INBOX 7 12\nimap home INBOX.x%20y 4294967295 4294967295\n"
        "imap home Lists 9 3 2\n"
        "imap %83%81%81[%83%8B%20%25%09%0D%0A: &U9dP4TDIMOwwpA- 1 0\npop3 empty ids 0\npop3 isp ids 3\na%25b\n~!\n"
            + std::string(70, 'x') + "\npop3 old%20%83%81 messages 31\n");
    WatchState parsed;
    Pop3State parsed_pop3;
    EXPECT_TRUE(ParseWatchState(text, &parsed, &parsed_pop3) && parsed.size() == 4 && parsed_pop3.size() == 3
        && SerializeWatchState(parsed, parsed_pop3) == text);
    EXPECT_TRUE(ParseWatchState("larkbellwatch-state 1\nhome INBOX 7 12\n", &parsed) && parsed.size() == 1);
}

// Up to the limits (4096 folders, 4096 POP3 accounts, lines of 4096 bytes,
// 20,000 ids) and one past them; torn (no final newline), out of range,
// malformed (a lower-case escape too: one spelling each), duplicated.
TEST(WatchState, ReadsUpToTheLimitsAndRejectsDamagedFilesWhole)
{
    std::string v1 = "larkbellwatch-state 1\n", v2 = "larkbellwatch-state 2\n";
    std::string many = v1, over = v2 + "pop3 a ids 20001\n", folders = v2, accounts = v2,
                ids = v2 + "pop3 a ids 20000\n";
    for (int i = 0; i <= 4096; ++i)
        many += "a " + std::to_string(i) + " 1 1\n";
    for (int i = 0; i < 4096; ++i) {
        folders += "imap a " + std::to_string(i) + " 1 1\n";
        accounts += "pop3 " + std::to_string(i) + " messages 1\n";
    }
    Pop3Seen seen { true, false, 0, {} };
    for (int i = 0; i < 20001; ++i) {
        over += std::to_string(i) + "\n";
        ids += i < 20000 ? std::to_string(i) + "\n" : "";
        seen.ids.push_back(std::to_string(i));
    }
    const std::string line_of_4096 = "imap " + std::string(4081, 'a') + " INBOX 1 2\n";
    const struct {
        std::string text;
        size_t folders, accounts;
    } limits[] = { { folders, 4096, 0 }, { accounts, 0, 4096 }, { v2 + line_of_4096, 1, 0 }, { ids, 0, 1 },
        { SerializeWatchState({}, { { "a", seen } }), 0, 0 }, // over 20,000 ids: left out
        { SerializeWatchState({}, { { "a", Pop3Seen { true, false, 0, { seen.ids.begin(), seen.ids.end() - 1 } } } }),
            0, 1 } };
    for (const auto& c : limits) {
        WatchState parsed;
        Pop3State parsed_pop3;
        EXPECT_TRUE(ParseWatchState(c.text, &parsed, &parsed_pop3) && parsed.size() == c.folders
            && parsed_pop3.size() == c.accounts)
            << c.text.substr(0, 80) << ": " << parsed.size() << " " << parsed_pop3.size();
    }
    const std::string bad[] = { "", "larkbellwatch-state 3\n", v1 + "a INBOX 1 2", v1 + "a INBOX 0 2\n",
        v1 + "a INBOX 1 4294967296\n", v1 + "a INBOX 1 -2\n", v1 + "a INBOX 1 02\n", v1 + "a INBOX 1\n",
        v1 + "a INBOX 1 2 3\n", v1 + "a  INBOX 1 2\n", v1 + "a%2 INBOX 1 2\n", v1 + "a%zz INBOX 1 2\n",
        v1 + "a\x83 INBOX 1 2\n", v1 + "a INBOX 1 2\na INBOX 3 4\n", v1 + "\n",
        v1 + std::string(5000, 'a') + " INBOX 1 2\n", many, v2 + "pop3 a ids 2\nx\n", v2 + "pop3 a ids 1\nx\nx\n",
        v2 + "pop3 a ids 1\n" + std::string(71, 'x') + "\n", v2 + "pop3 a ids 1\nx%20y\n", v2 + "pop3 a ids 1\n\n",
        v2 + "pop3 a seen 1\n", v2 + "pop3 a messages\n", v2 + "pop3 a messages 1\npop3 a messages 2\n",
        v2 + "home INBOX 7 12\n", v1 + "pop3 a messages 1\n", over, folders + "imap b 1 1 1\n",
        accounts + "pop3 b messages 1\n", v2 + "imap a" + line_of_4096.substr(5), v2 + "imap a%2a INBOX 1 2\n",
        v2 + "imap a INBOX 1 2 3\n", v2 + "imap a INBOX 1 2 1 1\n" };
    for (const std::string& text : bad) {
        WatchState parsed { { { "x", "y" }, {} } };
        Pop3State parsed_pop3 { { "x", {} } };
        EXPECT_FALSE(ParseWatchState(text, &parsed, &parsed_pop3)) << text.substr(0, 80);
        EXPECT_TRUE(parsed.empty() && parsed_pop3.empty());
    }
}

// Settings write levels with "/"; the server's delimiter goes in before
// encoding, so "&" as a delimiter is escaped like any other.
TEST(MailboxName, TakesTheServersDelimiter)
{
    const char work[] = "\xE4\xBB\x95\xE4\xBA\x8B/\xE9\x87\x8D\xE8\xA6\x81"; // 仕事/重要
    const struct {
        const char* written;
        char delimiter;
        const char* wire;
    } cases[] = { { "\xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4", '.', "&U9dP4TDIMOwwpA-" },
        { work, '/', "&TtVOiw-/&kc2JgQ-" }, { work, '.', "&TtVOiw-.&kc2JgQ-" }, { work, 0, "&TtVOiw-/&kc2JgQ-" },
        { work, '&', "&TtVOiw-&-&kc2JgQ-" }, { "a/b/c", '\\', "a\\b\\c" }, { "INBOX", '.', "INBOX" },
        { "\xFF/x", '.', nullptr } };
    for (const auto& c : cases) {
        std::string wire;
        EXPECT_EQ(ServerMailboxName(c.written, c.delimiter, &wire), c.wire != nullptr) << c.written;
        if (c.wire) {
            EXPECT_EQ(wire, c.wire) << c.written << " with " << c.delimiter;
        }
    }
}

// The rest of both responses is checked byte for byte in the scripted sessions.
TEST(SaslOAuth, EscapesTheUserInTheGs2Header)
{
    EXPECT_EQ(OAuthBearerResponse("a,b=c", "", 0, "t"), std::string("n,a=a=2Cb=3Dc,\x01") + "auth=Bearer t\x01\x01");
}

// The reason for a refusal goes to the log: it never quotes the output. A
// first line without its end is taken only while it is under 16 KiB.
TEST(TokenOutput, TakesTheFirstLineOnly)
{
    const std::string longest(16 * 1024 - 1, 's');
    const struct {
        std::string output;
        const char* token; // nullptr: refused
    } cases[] = { { "ya29.a0\r\nnext line\r\n", "ya29.a0" }, { "  eyJ0eXAi \n", "eyJ0eXAi" }, { "tok", "tok" },
        { "", nullptr }, { "\r\nsecret\r\n", nullptr }, { "secret\x01\n", nullptr }, { longest, longest.c_str() },
        { std::string(16 * 1024, 's'), nullptr } };
    for (const auto& c : cases) {
        std::string token, why;
        EXPECT_EQ(TokenFromOutput(c.output, &token, &why), c.token != nullptr) << c.output.substr(0, 20);
        EXPECT_EQ(token, c.token ? c.token : "");
        EXPECT_EQ(why.find("ss"), std::string::npos);
        EXPECT_EQ(why.find("secret"), std::string::npos);
    }
}

TEST(AccountValues, ParsesSettingsWithDefaultsAndLimits)
{
    Security security = Security::None;
    uint16_t port = 0;
    EXPECT_TRUE(ParseSecurity("", &security) && security == Security::Tls);
    EXPECT_TRUE(ParseSecurity(" StartTLS ", &security) && security == Security::StartTls);
    EXPECT_TRUE(ParseSecurity("NONE", &security) && security == Security::None);
    EXPECT_FALSE(ParseSecurity("ssl", &security));
    AuthMethod auth = AuthMethod::Login;
    EXPECT_TRUE(ParseAuthMethod("", &auth) && auth == AuthMethod::Auto);
    EXPECT_TRUE(ParseAuthMethod(" XOAuth2", &auth) && auth == AuthMethod::XOAuth2);
    EXPECT_FALSE(ParseAuthMethod("plain", &auth));
    const struct {
        const char* text;
        Security security;
        int expected; // -1: refused
    } ports[] = { { "", Security::Tls, 993 }, { "", Security::StartTls, 143 }, { "", Security::None, 143 },
        { " 10993 ", Security::Tls, 10993 }, { "65535", Security::Tls, 65535 }, { "0", Security::Tls, -1 },
        { "65536", Security::Tls, -1 }, { "99999999999999999999", Security::Tls, -1 }, { "-1", Security::Tls, -1 },
        { "99x", Security::Tls, -1 } };
    for (const auto& c : ports)
        EXPECT_EQ(ParsePort(c.text, c.security, &port) ? port : -1, c.expected) << c.text;
    Protocol protocol = Protocol::Imap;
    EXPECT_TRUE(ParseProtocol(" POP3 ", &protocol) && protocol == Protocol::Pop3
        && ParsePort("", Security::Tls, &port, protocol) && port == 995
        && ParsePort("", Security::StartTls, &port, protocol) && port == 110);
    EXPECT_TRUE(ParseProtocol("", &protocol) && protocol == Protocol::Imap);
    EXPECT_FALSE(ParseProtocol("pop", &protocol));
    const struct {
        const char* text;
        int expected;
    } polls[] = { { "", 120 }, { "60", 60 }, { "1", 10 }, { "0", 10 }, { "999999999", 86400 }, { "x", -1 },
        { "-5", -1 }, { "10", 10 }, { "9", 10 }, { "86400", 86400 }, { "86401", 86400 }, { "999999999999", 86400 },
        { "0000000000010", -1 } }; // 12 digits at most
    int seconds = 0;
    for (const auto& c : polls)
        EXPECT_EQ(ParsePollSeconds(c.text, &seconds) ? seconds : -1, c.expected) << c.text;
    EXPECT_EQ(ParseFolders(" INBOX , Lists/ietf,,&U9dP4TDIMOwwpA- "),
        (std::vector<std::string> { "INBOX", "Lists/ietf", "&U9dP4TDIMOwwpA-" }));
    EXPECT_EQ(ParseFolders(" , "), std::vector<std::string> { "INBOX" });

    for (const char* host : { "127.0.0.1", "127.255.1.9", "localhost", "LocalHost.", "::1", "[::1]" })
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : { "128.0.0.1", "127.0.0", "127.0.0.1.5", "127.0.0.256", "127.0.0.01", "127.0.0.1x",
             "localhost.example.com", "::2", "", "10.0.0.1" })
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

// Each rule alone, the first of two broken ones, and accounts that keep them all.
TEST(AccountRules, RefuseSignInsTheTransportOrProtocolCannotCarry)
{
    using Stage = RuleStage;
    // AccountFacts: name, protocol, host, security, auth, auth as written, tokencmd, password, oauth.
    const Protocol imap = Protocol::Imap, pop3 = Protocol::Pop3;
    const Security tls = Security::Tls, none = Security::None;
    const AuthMethod automatic = AuthMethod::Auto, login = AuthMethod::Login, bearer = AuthMethod::OAuthBearer;
    const struct {
        AccountFacts facts;
        Stage stage;
        const char* why; // "": kept
    } cases[] = {
        { AccountFacts { "home", imap, "mail.example.com", none, automatic, "", false, true }, Stage::Transport,
            "security=none is allowed only to a loopback host, not mail.example.com: account refused" },
        { AccountFacts { "home", imap, "127.0.0.1", none, automatic, "", false, true }, Stage::Transport, "" },
        { AccountFacts { "home", imap, "mail.example.com", tls, automatic, "", false, true }, Stage::Transport, "" },
        { AccountFacts { "home", imap, "mail.example.com", none, automatic, "", false, false }, Stage::SignIn,
            "no password: store one with \"larkbellctl password home\", or give a tokencmd; account refused" },
        { AccountFacts { "home", pop3, "mail.example.com", tls, automatic, "", true, true }, Stage::SignIn, "" },
        { AccountFacts { "home", pop3, "mail.example.com", tls, bearer, "OAuthBearer", false, true }, Stage::SignIn,
            "auth=OAuthBearer needs a tokencmd: account refused" },
        { AccountFacts { "home", imap, "mail.example.com", tls, login, "login", true, true }, Stage::SignIn,
            "auth=login signs in with a password, not with tokencmd: account refused" },
        { AccountFacts { "home", imap, "mail.example.com", tls, bearer, "oauthbearer", true, false }, Stage::SignIn,
            "" },
        { AccountFacts { "home", imap, "mail.example.com", tls, automatic, "", true, false }, Stage::SignIn, "" },
        { AccountFacts { "home", pop3, "mail.example.com", tls, login, "login", false, true }, Stage::SignIn, "" },
        { AccountFacts { "home", imap, "mail.example.com", tls, bearer, "oauthbearer", false, false, true },
            Stage::SignIn, "" },
        { AccountFacts { "home", imap, "mail.example.com", tls, automatic, "", false, false, true }, Stage::SignIn,
            "" },
        { AccountFacts { "home", pop3, "mail.example.com", tls, automatic, "", false, false, true }, Stage::SignIn,
            "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrokenAccountRule(c.facts, c.stage), c.why);
}

TEST(AccountValues, FingerprintsParseInEitherFormAndFormatWithColons)
{
    std::string hex;
    for (int i = 0; i < 32; ++i)
        hex += "0123456789abcdefABCDEF"[i % 22] + std::string(1, "fedcba9876543210"[i % 16]);
    Sha256 plain {}, separated {};
    ASSERT_TRUE(ParseFingerprint(hex, &plain));
    std::string formatted = FormatFingerprint(plain);
    EXPECT_EQ(formatted.substr(0, 12), "0F:1E:2D:3C:");
    ASSERT_TRUE(ParseFingerprint(" " + formatted + " ", &separated));
    EXPECT_EQ(plain, separated);
    for (std::string bad : { hex.substr(1), hex + "0", "g" + hex.substr(1), formatted.substr(0, 94) + ":",
             formatted.substr(0, 2) + "-" + formatted.substr(3), std::string() })
        EXPECT_FALSE(ParseFingerprint(bad, &plain)) << bad;
}

} // namespace
