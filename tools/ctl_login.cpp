// larkbellctl login NAME [--device]: signs in to the account's OAuth
// provider in the user's browser (RFC 8252 with PKCE) or with a code typed
// on another device (RFC 8628), stores the refresh token for the watcher,
// then checks the account as "larkbellctl check NAME" does.
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>

#include "tools/ctl_watch.h"
#include "watch/core/oauth_requests.h"
#include "watch/core/token_answer.h"
#include "watch/core/token_lifetime.h"
#include "watch/shell/account_config.h"
#include "watch/shell/code_pages.h"
#include "watch/shell/crypto_primitives.h"
#include "watch/shell/https_post.h"
#include "watch/shell/login_credentials.h"
#include "watch/shell/loopback_listener.h"
#include "watch/shell/oauth_token_source.h"
#include "watch/shell/protected_secret.h"
#include "watch/shell/refresh_token_store.h"
#include "watch/shell/watch_settings.h"

namespace {

constexpr DWORD kBrowserLimitMs = 5 * 60 * 1000;

// The token endpoint's answer to `form`; false with one line in *why.
bool AskForTokens(const mail::OAuthClient& client, std::string form, mail::TokenGrant* grant,
    mail::TokenOutcome* outcome, std::string* why)
{
    mail::HttpsAnswer answer;
    const bool posted = mail::PostForm(client.token_url, form, mail::kTokenRequestLimitMs, &answer, why);
    mail::WipeString(&form);
    if (!posted) {
        *outcome = mail::TokenOutcome::Malformed;
        return false;
    }
    *outcome = mail::ReadTokenAnswer(answer.status, answer.body, grant, why);
    mail::WipeString(&answer.body);
    return *outcome == mail::TokenOutcome::Granted;
}

bool BrowserLogin(const mail::OAuthClient& client, const std::string& secret, mail::TokenGrant* grant, std::string* why)
{
    const std::string random = mail::RandomBytes(48);
    if (random.size() != 48) {
        *why = "the system's random generator failed";
        return false;
    }
    std::string verifier = mail::PkceVerifier(random.substr(0, 32));
    const std::string state = mail::Base64Url(random.substr(32));
    const std::string digest = mail::Sha256Of(verifier);
    mail::LoopbackListener listener;
    if (digest.empty() || !listener.Open(why)) {
        if (why->empty())
            *why = "SHA-256 is not available";
        return false;
    }
    const std::string redirect_uri = mail::LoopbackRedirectUri(listener.port());
    const std::string address = mail::AuthorizationUrl(client, redirect_uri, state, mail::PkceChallenge(digest));
    printf("Sign in in your browser. If it does not open, open this address:\n%s\n", address.c_str());
    fflush(stdout);
    ::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    mail::Redirect redirect;
    switch (listener.Wait(state, kBrowserLimitMs, &redirect, why)) {
    case mail::RedirectOutcome::Code:
        break;
    case mail::RedirectOutcome::Error:
        *why = "the sign-in was not completed: " + redirect.error;
        return false;
    default:
        return false;
    }
    mail::TokenOutcome outcome;
    const bool granted = AskForTokens(
        client, mail::CodeExchangeBody(client, redirect.code, redirect_uri, verifier, secret), grant, &outcome, why);
    mail::WipeString(&verifier);
    mail::WipeString(&redirect.code);
    return granted;
}

bool DeviceLogin(const mail::OAuthClient& client, const std::string& secret, mail::TokenGrant* grant, std::string* why)
{
    mail::HttpsAnswer answer;
    mail::DeviceGrant device;
    if (!mail::PostForm(
            client.device_url, mail::DeviceAuthorizationBody(client), mail::kTokenRequestLimitMs, &answer, why)
        || !mail::ReadDeviceAnswer(answer.status, answer.body, &device, why))
        return false;
    printf("On any device, open %s and enter the code %s\n", device.verification_uri.c_str(), device.user_code.c_str());
    if (!device.verification_uri_complete.empty())
        printf("or open %s\n", device.verification_uri_complete.c_str());
    fflush(stdout);
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(device.expires_in_s) * 1000;
    int64_t interval = mail::DevicePollIntervalS(device.interval_s, mail::TokenOutcome::Pending);
    while (::GetTickCount64() + static_cast<ULONGLONG>(interval) * 1000 < end) {
        ::Sleep(static_cast<DWORD>(interval * 1000));
        mail::TokenOutcome outcome;
        if (AskForTokens(client, mail::DeviceTokenBody(client, device.device_code, secret), grant, &outcome, why))
            return true;
        if (outcome == mail::TokenOutcome::Denied) {
            *why = "the sign-in was declined (access_denied)";
            return false;
        }
        if (outcome == mail::TokenOutcome::Expired)
            break;
        if (outcome != mail::TokenOutcome::Pending && outcome != mail::TokenOutcome::SlowDown)
            return false;
        interval = mail::DevicePollIntervalS(interval, outcome);
    }
    *why = "the code expired before the sign-in was completed (expired_token)";
    return false;
}

int Fail(const char* name, const std::string& why)
{
    fprintf(stderr, "larkbellctl: %s: %s\n", name, mail::Utf8ToCp932(why).c_str());
    return 1;
}

} // namespace

int RunLoginCommand(const char* name, bool device)
{
    mail::AccountConfig account;
    if (!ReadCommandAccount(name, &account))
        return 1;
    std::string why;
    if (account.oauth.provider == mail::OAuthProvider::None)
        return Fail(name, "no oauth= in its settings: it signs in with a password or a tokencmd");
    if (device && !mail::DeviceFlowAllowed(account.oauth, &why))
        return Fail(name, why);
    std::string secret;
    if (!mail::OpenClientSecret(account.oauth, &secret, &why))
        return Fail(name, why);
    mail::TokenGrant grant;
    const bool granted
        = device ? DeviceLogin(account.oauth, secret, &grant, &why) : BrowserLogin(account.oauth, secret, &grant, &why);
    mail::WipeString(&secret);
    if (!granted)
        return Fail(name, why);
    if (grant.refresh_token.empty())
        return Fail(name, "the server gave no refresh token: does the scope ask for offline access?");
    const bool stored = mail::StoreRefreshToken(account.token_path, grant.refresh_token, &why);
    mail::WipeString(&grant.refresh_token);
    if (!stored)
        return Fail(name, "the sign-in could not be stored: " + why);
    printf("signed in; the sign-in is stored for account %s\n", name);
    fflush(stdout);
    // The check uses the access token just granted: a refresh here could
    // race a running watcher's refresh of the same token.
    mail::KeepAccessToken(account, std::move(grant.access_token), grant.expires_in_s);
    return RunCheckCommand(name);
}
