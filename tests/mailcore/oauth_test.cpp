#include <gtest/gtest.h>

#include <string>

#include "watch/core/loopback_redirect.h"
#include "watch/core/oauth_requests.h"
#include "watch/core/oauth_settings.h"
#include "watch/core/token_answer.h"
#include "watch/core/token_file.h"
#include "watch/core/token_lifetime.h"

namespace {

using namespace mail;

OAuthKeys With(OAuthKeys keys, void (*change)(OAuthKeys&))
{
    change(keys);
    return keys;
}

TEST(Pkce, MatchesRfc7636AppendixB)
{
    const unsigned char random[] = { 116, 24, 223, 180, 151, 153, 224, 37, 79, 250, 96, 125, 216, 173, 187, 186, 22,
        212, 37, 77, 105, 214, 191, 240, 91, 88, 5, 88, 83, 132, 141, 121 };
    const std::string verifier = PkceVerifier(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
    EXPECT_EQ(verifier, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
    const unsigned char digest[] = { 19, 211, 30, 150, 26, 26, 216, 236, 47, 22, 177, 12, 76, 152, 46, 8, 118, 168, 120,
        173, 109, 241, 68, 86, 110, 225, 137, 74, 203, 112, 249, 195 };
    EXPECT_EQ(PkceChallenge(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest)),
        "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    EXPECT_EQ(FormEncode("a b+c/é~"), "a%20b%2Bc%2F%C3%A9~");
}

// Every rule of the settings, each refusal naming its key; then the endpoints
// each provider gets and the form bodies built from them.
TEST(OAuthSettings, FillsProvidersAndRefusesWhatMakesNoSense)
{
    OAuthKeys ms;
    ms.oauth = "Microsoft";
    ms.client_id = "0d1a-42";
    OAuthKeys generic = ms;
    generic.oauth = "generic";
    generic.authorize_url = "https://localhost:8443/authorize";
    generic.token_url = "https://localhost:8443/token";
    generic.scope = "imap";
    const OAuthKeys google = With(ms, [](OAuthKeys& k) { k.oauth = "google"; });
    const std::tuple<const char*, OAuthKeys, const char*> cases[] = {
        { "plain microsoft", ms, nullptr },
        { "no oauth, no keys", OAuthKeys(), nullptr },
        { "generic", generic, nullptr },
        { "unknown provider", With(ms, [](OAuthKeys& k) { k.oauth = "yahoo"; }), "oauth= must be" },
        { "password too", With(ms, [](OAuthKeys& k) { k.has_password = true; }), "password= does not go" },
        { "tokencmd too", With(ms, [](OAuthKeys& k) { k.has_tokencmd = true; }), "tokencmd= does not go" },
        { "auth=login", With(ms, [](OAuthKeys& k) { k.auth = AuthMethod::Login; }), "auth=login" },
        { "no client_id", With(ms, [](OAuthKeys& k) { k.client_id = " "; }), "needs client_id=" },
        { "blank in client_id", With(ms, [](OAuthKeys& k) { k.client_id = "a b"; }), "client_id=" },
        { "client_id alone", With(OAuthKeys(), [](OAuthKeys& k) { k.client_id = "x"; }), "client_id= needs oauth=" },
        { "tenant alone", With(OAuthKeys(), [](OAuthKeys& k) { k.tenant = "x"; }), "tenant= needs oauth=" },
        { "tenant for google", With(google, [](OAuthKeys& k) { k.tenant = "common"; }), "tenant= is only" },
        { "tenant as a path", With(ms, [](OAuthKeys& k) { k.tenant = "../x"; }), "tenant= must be" },
        { "scope for microsoft", With(ms, [](OAuthKeys& k) { k.scope = "x"; }), "scope= is only" },
        { "token_url for google", With(google, [](OAuthKeys& k) { k.token_url = "https://x/"; }),
            "token_url= is only" },
        { "generic without token_url", With(generic, [](OAuthKeys& k) { k.token_url = ""; }), "needs token_url=" },
        { "generic without scope", With(generic, [](OAuthKeys& k) { k.scope = ""; }), "needs scope=" },
        { "generic over http", With(generic, [](OAuthKeys& k) { k.authorize_url = "http://x/a"; }),
            "authorize_url= must be an https" },
        { "device_url with user info", With(generic, [](OAuthKeys& k) { k.device_url = "https://u@x/d"; }),
            "device_url= must be" },
    };
    for (const auto& [what, keys, refusal] : cases) { // nullptr: accepted
        OAuthClient client;
        std::string why;
        const bool accepted = MakeOAuthClient(keys, &client, &why);
        EXPECT_EQ(accepted, refusal == nullptr) << what << ": " << why;
        if (refusal) {
            EXPECT_NE(why.find(refusal), std::string::npos) << what << ": " << why;
        }
    }

    OAuthClient client;
    std::string why;
    ms.tenant = "contoso.onmicrosoft.com";
    ASSERT_TRUE(MakeOAuthClient(ms, &client, &why));
    EXPECT_EQ(client.token_url, "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token");
    EXPECT_EQ(client.device_url, "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/devicecode");
    EXPECT_EQ(client.scope, "https://outlook.office.com/IMAP.AccessAsUser.All offline_access");
    EXPECT_TRUE(DeviceFlowAllowed(client, &why));
    EXPECT_EQ(AuthorizationUrl(client, LoopbackRedirectUri(50123), "st", "ch"),
        "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/authorize?response_type=code"
        "&client_id=0d1a-42&redirect_uri=http%3A%2F%2F127.0.0.1%3A50123&scope=https%3A%2F%2Foutlook.office.com"
        "%2FIMAP.AccessAsUser.All%20offline_access&state=st&code_challenge=ch&code_challenge_method=S256");
    EXPECT_EQ(CodeExchangeBody(client, "c/1", "http://127.0.0.1:1/", "v", ""),
        "grant_type=authorization_code&code=c%2F1&redirect_uri=http%3A%2F%2F127.0.0.1%3A1%2F&code_verifier=v"
        "&client_id=0d1a-42");
    EXPECT_EQ(RefreshBody(client, "r+1", "s&"),
        "grant_type=refresh_token&refresh_token=r%2B1&client_id=0d1a-42&client_secret=s%26");
    ms.protocol = Protocol::Pop3;
    ms.tenant = "";
    ASSERT_TRUE(MakeOAuthClient(ms, &client, &why));
    EXPECT_EQ(client.scope, "https://outlook.office.com/POP.AccessAsUser.All offline_access");
    EXPECT_EQ(client.token_url, "https://login.microsoftonline.com/common/oauth2/v2.0/token");

    ASSERT_TRUE(MakeOAuthClient(google, &client, &why));
    EXPECT_EQ(client.scope, "https://mail.google.com/");
    EXPECT_TRUE(!DeviceFlowAllowed(client, &why) && why.find("oauth=google") != std::string::npos) << why;
    EXPECT_NE(AuthorizationUrl(client, "r", "s", "c").find("&access_type=offline"), std::string::npos);
    ASSERT_TRUE(MakeOAuthClient(generic, &client, &why));
    EXPECT_TRUE(!DeviceFlowAllowed(client, &why) && why.find("device_url=") != std::string::npos) << why;
}

TEST(OAuthSettings, ReadsHttpsAddressesOnly)
{
    // Read back as host:port and path; nullptr: refused.
    const std::pair<const char*, const char*> cases[]
        = { { "https://login.example/a/b?x=1", "login.example:443/a/b?x=1" },
              { "HTTPS://localhost:8443", "localhost:8443/" }, { "https://h?q", "h:443/?q" }, { "http://h/", nullptr },
              { "https://", nullptr }, { "https://h:0/", nullptr }, { "https://h:70000/", nullptr },
              { "https://h:/", nullptr }, { "https://u:p@h/", nullptr }, { "https://h/#f", nullptr },
              { "https://h/a b", nullptr }, { "https://[::1]/", nullptr } };
    for (const auto& [text, read] : cases) {
        HttpsUrl url;
        EXPECT_EQ(ParseHttpsUrl(text, &url) ? url.host + ":" + std::to_string(url.port) + url.path : "refused",
            read ? read : "refused")
            << text;
    }
}

TEST(TokenAnswer, TakesOnlyWellFormedGrantsAndNamesErrors)
{
    // An answer of 64 KiB and one a byte longer; a token of 16 KiB and one a byte longer.
    const auto padded = [](size_t size) {
        const std::string head = "{\"access_token\":\"a\",\"token_type\":\"Bearer\",\"x\":\"";
        return head + std::string(size - head.size() - 2, 'x') + "\"}";
    };
    const std::string longest_token(16 * 1024, 't');
    const auto with_token
        = [](const std::string& token) { return "{\"access_token\":\"" + token + "\",\"token_type\":\"Bearer\"}"; };
    // A Bearer grant of "at" with more members.
    const auto bearer
        = [](const std::string& more) { return R"({"access_token":"at","token_type":"Bearer")" + more + "}"; };
    // Granted: the body, then the access token, refresh token and life read from it.
    const std::tuple<std::string, std::string, const char*, int64_t> granted[] = {
        { R"({"access_token":"at.1","token_type":"Bearer","expires_in":3599,"refresh_token":"rt"})", "at.1", "rt",
            3599 },
        { R"({"access_token":"at","token_type":"bearer","expires_in":"60"})", "at", "", 60 },
        { bearer(""), "at", "", 3600 }, { bearer(R"(,"expires_in":99999999999)"), "at", "", 366LL * 86400 },
        { padded(65536), "a", "", 3600 }, { with_token(longest_token), longest_token, "", 3600 },
        { bearer(R"(,"expires_in":31622400)"), "at", "", 31622400 }, // 366 days, the longest life believed
        { bearer(R"(,"expires_in":31622401)"), "at", "", 31622400 },
        { bearer(R"(,"expires_in":"0000000060")"), "at", "", 60 } // ten digits as a string, and no more
    };
    for (const auto& [body, access, refresh, expires_in] : granted) {
        TokenGrant grant;
        std::string why;
        EXPECT_EQ(ReadTokenAnswer(200, body, &grant, &why), TokenOutcome::Granted) << body.substr(0, 80) << ": " << why;
        EXPECT_EQ(grant.access_token + " " + grant.refresh_token + " " + std::to_string(grant.expires_in_s) + why,
            access + " " + refresh + " " + std::to_string(expires_in))
            << body.substr(0, 80);
    }
    // Anything else grants nothing and says why.
    const TokenOutcome malformed = TokenOutcome::Malformed;
    const std::tuple<int, std::string, TokenOutcome> refused[] = { { 502, "", malformed },
        { 200, R"({"access_token":"at","token_type":"MAC"})", malformed },
        { 200, R"({"access_token":"at"})", malformed },
        { 200, R"({"access_token":"a t","token_type":"Bearer"})", malformed },
        { 200, R"({"access_token":"","token_type":"Bearer"})", malformed },
        { 200, R"({"access_token":7,"token_type":"Bearer"})", malformed },
        { 200, bearer(R"(,"refresh_token":"")"), malformed }, { 200, bearer(R"(,"expires_in":-1)"), malformed },
        { 200, bearer(R"(,"expires_in":"1e3")"), malformed }, { 200, bearer(" trailing"), malformed },
        { 200, R"(["access_token"])", malformed }, { 200, padded(65537), malformed },
        { 200, with_token(longest_token + "t"), malformed },
        { 200, bearer(R"(,"expires_in":"00000000060")"), malformed }, { 201, bearer(""), malformed },
        { 200, R"({"error":"invalid_grant"})", malformed },
        { 400, R"({"error":"invalid_grant","error_description":"AADSTS70008: expired"})", TokenOutcome::InvalidGrant },
        { 400, R"({"error":"authorization_pending"})", TokenOutcome::Pending },
        { 400, R"({"error":"slow_down"})", TokenOutcome::SlowDown },
        { 400, R"({"error":"access_denied"})", TokenOutcome::Denied },
        { 400, R"({"error":"expired_token"})", TokenOutcome::Expired },
        { 401, R"({"error":"invalid_client"})", TokenOutcome::Refused }, { 400, "<html>bad</html>", malformed },
        { 503, R"({"error":"temporarily_unavailable"})", malformed } };
    for (const auto& [status, body, outcome] : refused) {
        TokenGrant grant;
        std::string why;
        EXPECT_EQ(ReadTokenAnswer(status, body, &grant, &why), outcome) << status << " " << body.substr(0, 80);
        EXPECT_TRUE(
            grant.access_token.empty() && grant.refresh_token.empty() && grant.expires_in_s == 0 && !why.empty())
            << body.substr(0, 80);
    }
    TokenGrant grant;
    std::string why;
    ReadTokenAnswer(400, R"({"error":"invalid_grant","error_description":"bad\nline \u00e9"})", &grant, &why);
    EXPECT_EQ(why, "the server answered invalid_grant: bad?line ??");
    for (size_t length : { 200, 201 }) { // a server's description is kept to 200 characters
        const std::string description = std::string(199, 'd') + "Z" + std::string(length - 200, 'e');
        ReadTokenAnswer(400, R"({"error":"invalid_grant","error_description":")" + description + "\"}", &grant, &why);
        EXPECT_EQ(why, "the server answered invalid_grant: " + description.substr(0, 200)) << length;
    }

    DeviceGrant device;
    EXPECT_TRUE(ReadDeviceAnswer(200,
        R"({"device_code":"d","user_code":"U-1","verification_url":"https://v","expires_in":900})", &device, &why));
    EXPECT_EQ(device.verification_uri, "https://v");
    EXPECT_EQ(device.interval_s, 5);
    EXPECT_FALSE(ReadDeviceAnswer(
        200, R"({"device_code":"d","user_code":"U","verification_uri":"https://v"})", &device, &why)); // no expires_in
    EXPECT_FALSE(ReadDeviceAnswer(500, "{}", &device, &why)); // an error answer without "error"
    EXPECT_FALSE(ReadDeviceAnswer(400, R"({"error":"invalid_scope"})", &device, &why));
    EXPECT_NE(why.find("invalid_scope"), std::string::npos);
}

TEST(TokenLifetime, RenewsFiveMinutesEarlyOrHalfwayAndSlowsDevicePolls)
{
    const struct {
        int64_t now_ms, expires_in_s, renew_at_ms;
    } cases[] = { { 1000, 3600, 1000 + 3300 * 1000 }, { 0, 600, 300 * 1000 }, { 0, 599, 299500 }, { 0, 60, 30000 },
        { 5, 1, 505 }, { 5, 0, 5 }, { 5, -7, 5 } };
    for (const auto& c : cases)
        EXPECT_EQ(TokenRenewAtMs(c.now_ms, c.expires_in_s), c.renew_at_ms) << c.expires_in_s;
    EXPECT_GT(TokenRenewAtMs(0, INT64_MAX), 0);
    // Between 1 and 60 s as given; slow_down adds 5 s.
    const std::tuple<int64_t, TokenOutcome, int64_t> polls[] = { { 5, TokenOutcome::Pending, 5 },
        { 5, TokenOutcome::SlowDown, 10 }, { 0, TokenOutcome::Pending, 1 }, { 3600, TokenOutcome::SlowDown, 65 },
        { 1, TokenOutcome::Pending, 1 }, { 60, TokenOutcome::Pending, 60 }, { 61, TokenOutcome::Pending, 60 } };
    for (const auto& [given, outcome, interval] : polls)
        EXPECT_EQ(DevicePollIntervalS(given, outcome), interval) << given;
}

TEST(LoopbackRedirect, AcceptsOnlyTheAwaitedRedirect)
{
    const std::tuple<const char*, RedirectOutcome, const char*> cases[]
        = { { "GET /?code=a%2Fb+c&state=S1 HTTP/1.1\r\nHost: x\r\n\r\n", RedirectOutcome::Code, "a/b c" },
              { "GET /?state=S1&code=c HTTP/1.0\r\n\r\n", RedirectOutcome::Code, "c" },
              { "GET /?code=c&state=S1 HTTP/1.1\r\nHost: x\r\n", RedirectOutcome::Incomplete, "" },
              { "GET /?code=c&state=S2 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?code=c&state= HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?code=c HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?code=c&state=S1&state=S1 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?code=c%2&state=S1 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?state=S1 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "POST /?code=c&state=S1 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /favicon.ico HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /x?code=c&state=S1 HTTP/1.1\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?code=c&state=S1 HTTP/2\r\n\r\n", RedirectOutcome::Other, "" },
              { "GET /?error=access_denied&error_description=no%3Cb%3E&state=S1 HTTP/1.1\r\n\r\n",
                  RedirectOutcome::Error, "access_denied: no?b?" } };
    for (const auto& [head, outcome, code_or_error] : cases) {
        Redirect redirect;
        EXPECT_EQ(ReadRedirect(head, "S1", &redirect), outcome) << head;
        EXPECT_EQ(outcome == RedirectOutcome::Error ? redirect.error : redirect.code, code_or_error) << head;
    }
    Redirect redirect;
    // Waited for up to 8 KiB without a blank line, then refused.
    EXPECT_EQ(ReadRedirect(std::string(8191, 'G'), "S1", &redirect), RedirectOutcome::Incomplete);
    EXPECT_EQ(ReadRedirect(std::string(8192, 'G'), "S1", &redirect), RedirectOutcome::Other);
    EXPECT_EQ(ReadRedirect("GET /?code=c HTTP/1.1\r\n\r\n", "", &redirect), RedirectOutcome::Other);
    EXPECT_EQ(RedirectAnswer(RedirectOutcome::Code, "").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(RedirectAnswer(RedirectOutcome::Other, "").rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
    const std::string page = RedirectAnswer(RedirectOutcome::Error, "<script>");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    const size_t body = page.find("\r\n\r\n") + 4;
    EXPECT_NE(page.find("Content-Length: " + std::to_string(page.size() - body) + "\r\n"), std::string::npos);
}

TEST(TokenFile, NamesEachAccountApart)
{
    EXPECT_EQ(TokenFileName("work-365_a"), "larkbellwatch-work-365_a.token");
    EXPECT_EQ(TokenFileName("a b/c:.."), "larkbellwatch-a%20b%2Fc%3A%2E%2E.token");
    EXPECT_EQ(TokenFileName("\x83\x81"), "larkbellwatch-%83%81.token");
    EXPECT_NE(TokenFileName("a%20"), TokenFileName("a "));
}

} // namespace
