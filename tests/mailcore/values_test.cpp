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
#include "watch/core/watch_status.h"

namespace {

using namespace mail;

// Both ways; then what one side refuses (nullptr on the other): no closing
// '-', "a" written encoded, lone surrogates, leftover or non-zero padding
// bits, '/' (not in this alphabet), one run written as two, unencoded
// non-printables; cut, overlong, surrogate, out-of-range and stray UTF-8.
TEST(Mutf7, ConvertsBothWaysAndRejectsInvalidInput)
{
    const std::pair<const char*, const char*> cases[] = { { "INBOX", "INBOX" }, { "", "" }, { "&", "&-" },
        { "a&b&&", "a&-b&-&-" }, { "\xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4", "&U9dP4TDIMOwwpA-" },
        { "~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
            "~peter/mail/&U,BTFw-/&ZeVnLIqe-" },
        { "Entw\xC3\xBCrfe", "Entw&APw-rfe" }, { "\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail" }, { "a\tb", "a&AAk-b" },
        { "\xC3\xA9&\xC3\xA9", "&AOk-&-&AOk-" }, { nullptr, "&U9dP4TDIMOwwpA" }, { nullptr, "&AGE-" },
        { nullptr, "&2D0-" }, { nullptr, "&3nA-" }, { nullptr, "&AOk" }, { nullptr, "&A-" }, { nullptr, "&AOl-" },
        { nullptr, "&AO/-" }, { nullptr, "&AOk-&AOk-" }, { nullptr, "a\tb" }, { nullptr, "\xC3\xA9" },
        { "\xC3", nullptr }, { "\xC0\xAF", nullptr }, { "\xED\xA0\x80", nullptr }, { "\xF4\x90\x80\x80", nullptr },
        { "\x80", nullptr }, { "a\xE3\x81", nullptr } };
    for (const auto& [utf8, mutf7] : cases) {
        std::string out;
        if (utf8) {
            EXPECT_EQ(Utf8ToMutf7(utf8, &out) ? out : "refused", mutf7 ? mutf7 : "refused") << utf8;
        }
        if (mutf7) {
            EXPECT_EQ(Mutf7ToUtf8(mutf7, &out) ? out : "refused", utf8 ? utf8 : "refused") << mutf7;
        }
    }
}

TEST(Backoff, DoublesFromOneSecondToFiveMinutesAndWaitsLongAfterARefusedLogin)
{
    const std::tuple<int, bool, double, int64_t> cases[] = {
        { 1, false, 0.0, 750 }, { 1, false, 0.999999, 999 }, { 2, false, 0.0, 1500 }, { 5, false, 0.5, 14000 },
        { 9, false, 0.0, 192000 }, { 10, false, 0.0, 225000 }, { 10, false, 0.999999, 299999 },
        { 1000000, false, 0.0, 225000 }, { 0, false, 0.0, 750 }, { -3, false, 0.0, 750 }, { 1, false, NAN, 750 },
        { 1, false, 7.0, 750 }, { 1, true, 0.0, 30 * 60 * 1000 }, { 50, true, 0.999999, 2099999 },
        { 1, true, -1.0, 30 * 60 * 1000 } // never below 30 min
    };
    for (const auto& [failures, login_refused, jitter, expected_ms] : cases)
        EXPECT_EQ(ReconnectDelayMs(failures, login_refused, jitter), expected_ms)
            << failures << " " << login_refused << " " << jitter;
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
    // What came while popups were paused, the most it holds.
    uint32_t held = 0;
    text = SerializeWatchState(state, {}, 1);
    EXPECT_TRUE(text.rfind("larkbellwatch-state 2\nheld 1\nimap home INBOX 7 12\n", 0) == 0) << text;
    EXPECT_TRUE(ParseWatchState(text, &parsed, nullptr, &held) && held == 1 && parsed.size() == 4);
    EXPECT_TRUE(
        ParseWatchState("larkbellwatch-state 2\nheld 4294967295\n", &parsed, nullptr, &held) && held == UINT32_MAX);
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
        v2 + "imap a INBOX 1 2 3\n", v2 + "imap a INBOX 1 2 1 1\n", v2 + "held 4294967296\n", v2 + "held 0\n",
        v2 + "held 01\n", v2 + "held 1\nheld 1\n", v1 + "held 1\n" };
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
    const std::tuple<const char*, char, const char*> cases[]
        = { { "\xE5\x8F\x97\xE4\xBF\xA1\xE3\x83\x88\xE3\x83\xAC\xE3\x82\xA4", '.', "&U9dP4TDIMOwwpA-" },
              { work, '/', "&TtVOiw-/&kc2JgQ-" }, { work, '.', "&TtVOiw-.&kc2JgQ-" }, { work, 0, "&TtVOiw-/&kc2JgQ-" },
              { work, '&', "&TtVOiw-&-&kc2JgQ-" }, { "a/b/c", '\\', "a\\b\\c" }, { "INBOX", '.', "INBOX" },
              { "\xFF/x", '.', nullptr } };
    for (const auto& [written, delimiter, expected] : cases) { // nullptr: refused
        std::string wire;
        EXPECT_EQ(ServerMailboxName(written, delimiter, &wire) ? wire : "refused", expected ? expected : "refused")
            << written << " with " << delimiter;
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
    const std::pair<std::string, const char*> cases[] = { { "ya29.a0\r\nnext line\r\n", "ya29.a0" },
        { "  eyJ0eXAi \n", "eyJ0eXAi" }, { "tok", "tok" }, { "", nullptr }, { "\r\nsecret\r\n", nullptr },
        { "secret\x01\n", nullptr }, { longest, longest.c_str() }, { std::string(16 * 1024, 's'), nullptr } };
    for (const auto& [output, wanted] : cases) { // nullptr: refused
        std::string token, why;
        EXPECT_EQ(TokenFromOutput(output, &token, &why), wanted != nullptr) << output.substr(0, 20);
        EXPECT_EQ(token, wanted ? wanted : "");
        EXPECT_TRUE(why.find("ss") == std::string::npos && why.find("secret") == std::string::npos) << why;
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
    const std::tuple<const char*, Security, int> ports[] = { { "", Security::Tls, 993 },
        { "", Security::StartTls, 143 }, { "", Security::None, 143 }, { " 10993 ", Security::Tls, 10993 },
        { "65535", Security::Tls, 65535 }, { "0", Security::Tls, -1 }, { "65536", Security::Tls, -1 },
        { "99999999999999999999", Security::Tls, -1 }, { "-1", Security::Tls, -1 }, { "99x", Security::Tls, -1 } };
    for (const auto& [text, security, expected] : ports) // -1: refused
        EXPECT_EQ(ParsePort(text, security, &port) ? port : -1, expected) << text;
    Protocol protocol = Protocol::Imap;
    EXPECT_TRUE(ParseProtocol(" POP3 ", &protocol) && protocol == Protocol::Pop3
        && ParsePort("", Security::Tls, &port, protocol) && port == 995
        && ParsePort("", Security::StartTls, &port, protocol) && port == 110);
    EXPECT_TRUE(ParseProtocol("", &protocol) && protocol == Protocol::Imap);
    EXPECT_FALSE(ParseProtocol("pop", &protocol));
    const std::pair<const char*, int> polls[] = { { "", 120 }, { "60", 60 }, { "1", 10 }, { "0", 10 },
        { "999999999", 86400 }, { "x", -1 }, { "-5", -1 }, { "10", 10 }, { "9", 10 }, { "86400", 86400 },
        { "86401", 86400 }, { "999999999999", 86400 }, { "0000000000010", -1 } }; // 12 digits at most
    int seconds = 0;
    for (const auto& [text, expected] : polls)
        EXPECT_EQ(ParsePollSeconds(text, &seconds) ? seconds : -1, expected) << text;
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
    const char* const remote = "mail.example.com";
    const AuthMethod automatic = AuthMethod::Auto, login = AuthMethod::Login, bearer = AuthMethod::OAuthBearer;
    const std::tuple<AccountFacts, Stage, const char*> cases[] = {
        { { "home", imap, remote, none, automatic, "", false, true }, Stage::Transport,
            "security=none is allowed only to a loopback host, not mail.example.com: account refused" },
        { { "home", imap, "127.0.0.1", none, automatic, "", false, true }, Stage::Transport, "" },
        { { "home", imap, remote, tls, automatic, "", false, true }, Stage::Transport, "" },
        { { "home", imap, remote, none, automatic, "", false, false }, Stage::SignIn,
            "no password: store one with \"larkbellctl password home\", or give a tokencmd; account refused" },
        { { "home", pop3, remote, tls, automatic, "", true, true }, Stage::SignIn, "" },
        { { "home", pop3, remote, tls, bearer, "OAuthBearer", false, true }, Stage::SignIn,
            "auth=OAuthBearer needs a tokencmd: account refused" },
        { { "home", imap, remote, tls, login, "login", true, true }, Stage::SignIn,
            "auth=login signs in with a password, not with tokencmd: account refused" },
        { { "home", imap, remote, tls, bearer, "oauthbearer", true, false }, Stage::SignIn, "" },
        { { "home", imap, remote, tls, automatic, "", true, false }, Stage::SignIn, "" },
        { { "home", pop3, remote, tls, login, "login", false, true }, Stage::SignIn, "" },
        { { "home", imap, remote, tls, bearer, "oauthbearer", false, false, true }, Stage::SignIn, "" },
        { { "home", imap, remote, tls, automatic, "", false, false, true }, Stage::SignIn, "" },
        { { "home", pop3, remote, tls, automatic, "", false, false, true }, Stage::SignIn, "" },
    };
    for (const auto& [facts, stage, why] : cases) // "": kept
        EXPECT_EQ(BrokenAccountRule(facts, stage), why);
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

// 2026-12-07 16:00 UTC.
constexpr int64_t kNow = 1796659200;

FolderStatus Folder(std::string account, std::string folder, WatchPhase phase, int64_t retry_at = 0,
    int64_t last_ok = 0, int64_t failing_since = 0, std::string error = {}, std::string fingerprint = {})
{
    return { std::move(account), std::move(folder), phase, retry_at, last_ok, failing_since, std::move(error),
        std::move(fingerprint) };
}

// Every phase in both languages (code page 932), the clock on this day and
// another, in UTC and nine hours east; then the console's table.
TEST(WatchStatus, ShowsEachPhaseInBothLanguages)
{
    const StatusView en { UiLanguage::English, kNow, 0 }, ja { UiLanguage::Japanese, kNow, 0 },
        east { UiLanguage::English, kNow, 9 * 3600 };
    const std::string print = "AB:CD";
    const std::tuple<FolderStatus, StatusView, const char*, const char*, const char*> cases[] = {
        { Folder("work", "INBOX", WatchPhase::Idling, 0, kNow - 3600), en, "work/INBOX", "watching (IDLE)", "15:00" },
        { Folder("work", "INBOX", WatchPhase::Idling, 0, kNow - 3600), ja, "work/INBOX",
            "\x8A\xC4\x8E\x8B\x92\x86 (IDLE)", "15:00" },
        { Folder("home", "", WatchPhase::Polling, 0, kNow - 86400), en, "home", "watching (polling)", "12-06 16:00" },
        { Folder("home", "", WatchPhase::Polling, 0, kNow - 3600), east, "home", "watching (polling)", "00:00" },
        { Folder("home", "", WatchPhase::Polling, 0, kNow - 7200), east, "home", "watching (polling)", "12-07 23:00" },
        { Folder("a", "b", WatchPhase::Connecting), en, "a/b", "connecting", "-" },
        { Folder("a", "b", WatchPhase::Connecting), ja, "a/b", "\x90\xDA\x91\xB1\x92\x86", "-" },
        { Folder("a", "b", WatchPhase::Retrying, kNow + 300), en, "a/b", "waiting to retry until 16:05", "-" },
        { Folder("a", "b", WatchPhase::Retrying, kNow + 300), ja, "a/b",
            "16:05 \x82\xDC\x82\xC5\x8D\xC4\x90\xDA\x91\xB1\x91\xD2\x82\xBF", "-" },
        { Folder("a", "b", WatchPhase::SignInNeeded), en, "a/b", "sign-in needed (larkbellctl login a)", "-" },
        { Folder("a", "b", WatchPhase::LoginRefused, kNow + 1800), en, "a/b", "login refused", "-" },
        { Folder("a", "b", WatchPhase::LoginRefused), ja, "a/b", "\x83\x8D\x83O\x83\x43\x83\x93\x8B\x91\x94\xDB", "-" },
        { Folder("a", "b", WatchPhase::CertificateRefused, 0, 0, 0, "", print), en, "a/b",
            "certificate refused (SHA-256 AB:CD)", "-" },
        { Folder("a", "b", WatchPhase::FolderMissing), en, "a/b", "folder not found", "-" },
        { Folder("a", "b", WatchPhase::TokenCommandFailing), en, "a/b", "token command failing", "-" },
    };
    for (const auto& [folder, view, where, state, last_check] : cases) {
        const StatusCells cells = StatusCellsOf(folder, view);
        EXPECT_EQ(cells.where + "|" + cells.state + "|" + cells.last_check,
            std::string(where) + "|" + state + "|" + last_check);
    }
    WatchStatus status { kNow + 3600,
        { Folder("work", "INBOX", WatchPhase::Idling, 0, kNow - 60),
            Folder("home", "", WatchPhase::LoginRefused, kNow + 1800, 0, kNow - 60, "NO [AUTHENTICATIONFAILED]") } };
    EXPECT_EQ(StatusLines(status, en),
        (std::vector<std::string> { "new-mail popups paused until 17:00",
            "where       state            last check  last error", "work/INBOX  watching (IDLE)  15:59",
            "home        login refused    -           NO [AUTHENTICATIONFAILED]" }));
    EXPECT_EQ(StatusExitCode(status), 3);
    status.folders[1].phase = WatchPhase::Polling;
    EXPECT_EQ(StatusExitCode(status), 0);
    status.folders[1].phase = WatchPhase::Retrying; // not watching, though the user need not act
    EXPECT_EQ(StatusExitCode(status), 3);
}

// The tooltip: the first folder that needs the user, else the first not
// watching, else all; while paused, until when, and never over 127 bytes nor
// inside a double-byte character.
TEST(WatchStatus, SumsUpInATooltipOfAtMost127Bytes)
{
    const StatusView en { UiLanguage::English, kNow, 0 }, ja { UiLanguage::Japanese, kNow, 0 };
    const std::string kanji = "\x8A\xC4"; // 監
    const FolderStatus idle = Folder("a", "INBOX", WatchPhase::Idling), retry = Folder("b", "", WatchPhase::Retrying),
                       refused = Folder("c", "", WatchPhase::LoginRefused),
                       cert = Folder("d", "", WatchPhase::CertificateRefused, 0, 0, 0, "", "AB:CD");
    const std::tuple<WatchStatus, StatusView, std::string> cases[] = {
        { { 0, { idle, idle } }, en, "larkbellwatch: watching 2 folder(s)" },
        { { 0, { idle, idle } }, ja, "larkbellwatch: 2 \x83t\x83H\x83\x8B\x83_\x81[\x82\xF0\x8A\xC4\x8E\x8B\x92\x86" },
        { { 0, { idle, retry, refused } }, en, "c: login refused" },
        { { 0, { idle, retry } }, en, "b: waiting to retry" },
        { { 0, { cert } }, en, "d: certificate refused" },
        { { kNow + 60, { idle } }, en, "larkbellwatch: watching 1 folder(s)\nnew-mail popups paused until 16:01" },
        { { kNow, { idle } }, en, "larkbellwatch: watching 1 folder(s)" }, // the pause is over
        { { 0, { Folder(std::string(125, 'x'), "", WatchPhase::Retrying) } }, en, std::string(125, 'x') + ": " },
        { { 0, { Folder(std::string(126, 'x'), "", WatchPhase::Retrying) } }, en, std::string(126, 'x') + ":" },
        { { 0, { Folder(std::string(124, 'x') + kanji, "", WatchPhase::Retrying) } }, en,
            std::string(124, 'x') + kanji + ":" },
        { { 0, { Folder(std::string(126, 'x') + kanji, "", WatchPhase::Retrying) } }, en, std::string(126, 'x') },
        { { kNow + 60, { Folder(std::string(200, 'x'), "", WatchPhase::Retrying) } }, en,
            std::string(92, 'x') + "\nnew-mail popups paused until 16:01" },
    };
    for (const auto& [status, view, tip] : cases)
        EXPECT_EQ(StatusTooltip(status, view), tip);
}

// Cut at the limit, never between a lead and a trail byte; controls become
// spaces and a lead byte without its trail a '?'.
TEST(WatchStatus, FitsCodePage932TextToItsLimit)
{
    const std::tuple<std::string, size_t, std::string> cases[]
        = { { "abc", 3, "abc" }, { "abcd", 3, "abc" }, { "a\x8A\xC4", 3, "a\x8A\xC4" }, { "ab\x8A\xC4", 3, "ab" },
              { "\xB1\xB2\xB3", 2, "\xB1\xB2" }, // half-width katakana: one byte each
              { "a\tb\r\n\x7F", 9, "a b   " }, { "\x81\t\x8A", 9, "? ?" } };
    for (const auto& [text, max, fit] : cases)
        EXPECT_EQ(FitCp932(text, max), fit) << text;
}

// The status file reads back exactly what was written, up to its limits
// and no further; anything else, damaged or torn, is refused whole.
TEST(WatchStatus, FileReadsBackOnlyWhatItWritesWithinItsLimits)
{
    const std::string head = "larkbellwatch-status 1\npaused 0\n";
    WatchStatus status { kNow + 60,
        { Folder("\x83\x81\x81[\x83\x8B", "INBOX", WatchPhase::CertificateRefused, 0, kNow - 5, kNow - 4, "bad\tchain",
              std::string(95, 'F')),
            Folder("home", "", WatchPhase::Retrying, kNow + 9, 0, kNow) } };
    WatchStatus read;
    ASSERT_TRUE(ParseStatusFile(StatusFileText(status), &read));
    EXPECT_EQ(StatusFileText(read), StatusFileText(status));
    EXPECT_EQ(read.folders[0].error, "bad chain");
    EXPECT_EQ(read.folders[1].retry_at, kNow + 9);

    WatchStatus many;
    for (size_t i = 0; i <= kStatusMaxFolders; ++i)
        many.folders.push_back({ std::to_string(i), std::string(kStatusNameBytes, 'f'), WatchPhase::Idling, 0, 0, 0,
            std::string(kStatusErrorBytes, 'e'), std::string(kStatusFingerprintBytes, 'F') });
    const std::string most = StatusFileText(many); // the 257th folder left out
    ASSERT_TRUE(ParseStatusFile(most, &read));
    EXPECT_EQ(read.folders.size(), kStatusMaxFolders);
    const std::string line = std::string(kStatusNameBytes, 'a') + "\t" + std::string(kStatusNameBytes, 'f')
        + "\tidling\t0\t0\t0\t" + std::string(kStatusFingerprintBytes, 'F') + "\t" + std::string(kStatusErrorBytes, 'e')
        + "\n";
    for (const std::string& text : { head, head + line, head + "a\t\tidling\t999999999999\t0\t0\t\t\n" })
        EXPECT_TRUE(ParseStatusFile(text, &read)) << text;
    EXPECT_LE(most.size(), kStatusFileMaxBytes);

    const std::string bad[] = { "", head.substr(0, head.size() - 1), "larkbellwatch-status 2\npaused 0\n",
        head + "a\tb\tidling\t0\t0\t0\t\t", head + "\tb\tidling\t0\t0\t0\t\t\n", head + "a\tb\tidle\t0\t0\t0\t\t\n",
        head + "a\tb\tidling\t0\t0\t0\t\n", head + "a\tb\tidling\t0\t0\t0\t\t\t\n",
        head + "a\tb\tidling\t01\t0\t0\t\t\n", head + "a\tb\tidling\t1000000000000\t0\t0\t\t\n",
        head + "a\tb\tidling\t-1\t0\t0\t\t\n", head + "a\tb\r\tidling\t0\t0\t0\t\t\n",
        head + "a\tb\tidling\t0\t0\t0\t\tx\x8A\n", "larkbellwatch-status 1\npaused\n",
        "larkbellwatch-status 1\npaused 01\n",
        head + "a\t" + std::string(kStatusNameBytes + 1, 'f') + "\tidling\t0\t0\t0\t\t\n",
        head + std::string(kStatusNameBytes + 1, 'a') + "\tb\tidling\t0\t0\t0\t\t\n",
        head + "a\tb\tidling\t0\t0\t0\t" + std::string(kStatusFingerprintBytes + 1, 'F') + "\t\n",
        head + "a\tb\tidling\t0\t0\t0\t\t" + std::string(kStatusErrorBytes + 1, 'e') + "\n", most + line };
    for (const std::string& text : bad) {
        read = status;
        EXPECT_FALSE(ParseStatusFile(text, &read)) << text.substr(0, 80) << " (" << text.size() << " bytes)";
        EXPECT_TRUE(read.folders.empty() && read.paused_until == 0);
    }
}

// One balloon per change into a state only the user can end, one when a
// folder has been failing longer than `alertafter`; none again until it has
// watched in between. A report keeps the last good check and counts the
// failure from its first moment.
TEST(WatchStatus, AlertsOncePerTroubleAndAgainOnlyAfterItWasFine)
{
    const int64_t after = 15 * 60;
    const struct {
        WatchPhase phase;
        int64_t at; // seconds after kNow
        const char* alert; // the alert's text, or "" for none
        int64_t failing_since; // seconds after kNow; -1: not failing
        bool attention; // the icon asks for it: the user must act, or down longer than alertafter
    } steps[] = {
        { WatchPhase::Connecting, 0, "", -1, false },
        { WatchPhase::Retrying, 10, "", 10, false },
        { WatchPhase::Retrying, 10 + after, "", 10, false }, // 15 minutes exactly
        { WatchPhase::Retrying, 11 + after, "not reachable since 16:00\nno route", 10, true },
        { WatchPhase::Connecting, 12 + after, "", 10, true },
        { WatchPhase::Retrying, 9999, "", 10, true },
        { WatchPhase::Idling, 10000, "", -1, false },
        { WatchPhase::LoginRefused, 10001, "login refused\nno route", 10001, true },
        { WatchPhase::LoginRefused, 12000, "", 10001, true },
        { WatchPhase::FolderMissing, 12001, "folder not found\nno route", 10001, true },
        { WatchPhase::Retrying, 99999, "", 10001, true },
        { WatchPhase::Polling, 100000, "", -1, false },
        { WatchPhase::FolderMissing, 100001, "folder not found\nno route", 100001, true },
    };
    FolderStatus known = Folder("a", "INBOX", WatchPhase::Connecting);
    AlertMemory memory;
    for (const auto& step : steps) {
        FolderStatus report = Folder("a", "INBOX", step.phase);
        report.error = IsWatching(step.phase) ? "" : "no route";
        report.last_ok = IsWatching(step.phase) ? kNow + step.at : 0;
        MergeReport(&known, report, kNow + step.at);
        const std::vector<Alert> alerts
            = DueAlerts({ 0, { known } }, after, { UiLanguage::English, kNow + step.at, 0 }, &memory);
        SCOPED_TRACE(step.at);
        EXPECT_EQ(alerts.empty() ? "" : alerts[0].text, step.alert);
        EXPECT_EQ(NeedsAttention({ 0, { known } }, after, kNow + step.at), step.attention);
        EXPECT_TRUE(alerts.empty() || alerts[0].title == "larkbellwatch: a/INBOX");
        EXPECT_EQ(known.failing_since, step.failing_since < 0 ? 0 : kNow + step.failing_since);
        EXPECT_EQ(known.error, "no route"); // kept while watching again
        EXPECT_EQ(known.last_ok, step.at < 10000 ? 0 : step.at < 100000 ? kNow + 10000 : kNow + 100000);
    }
    EXPECT_TRUE(DueAlerts({}, after, {}, &memory).empty() && memory.told.empty()); // a folder gone is forgotten
    // A balloon's title holds 63 bytes, its text 255: "larkbellwatch: " and 48 bytes of name, "login
    // refused", a line break and 241 bytes of error.
    for (size_t past : { 0, 1 }) {
        AlertMemory fresh;
        const std::vector<Alert> alerts
            = DueAlerts({ 0,
                            { Folder(std::string(48 + past, 'a'), "", WatchPhase::LoginRefused, 0, 0, 0,
                                std::string(241 + past, 'e')) } },
                after, {}, &fresh);
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].title, "larkbellwatch: " + std::string(48, 'a'));
        EXPECT_EQ(alerts[0].text, "login refused\n" + std::string(241, 'e'));
    }

    const std::pair<const char*, int> settings[] = { { "", 15 }, { " 30 ", 30 }, { "x", 15 }, { "-5", 15 }, { "0", 1 },
        { "1", 1 }, { "1440", 1440 }, { "1441", 1440 }, { "99999999999999999999999", 1440 } };
    for (const auto& [text, minutes] : settings)
        EXPECT_EQ(ParseAlertAfterMinutes(text), minutes) << text;
    const std::pair<const char*, int> pauses[] = { { "off", 0 }, { "1", 1 }, { "60", 60 }, { "1440", 1440 },
        { "1441", -1 }, { "0", -1 }, { "", -1 }, { "Off", -1 }, { "-5", -1 }, { "00060", -1 } };
    for (const auto& [text, expected] : pauses) { // -1: refused
        int minutes = -1;
        EXPECT_EQ(ParsePauseMinutes(text, &minutes) ? minutes : -1, expected) << text;
    }
}

} // namespace
