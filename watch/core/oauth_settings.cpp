#include "watch/core/oauth_settings.h"

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    // Printable ASCII without blanks: what fits in an address or a form unquoted.
    bool IsPlainToken(std::string_view text)
    {
        for (char c : text) {
            if (c <= ' ' || c > '~')
                return false;
        }
        return !text.empty();
    }

    // A tenant name, domain or id: it becomes a path segment.
    bool IsTenant(std::string_view text)
    {
        for (char c : text) {
            const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
                || c == '.' || c == '_';
            if (!allowed)
                return false;
        }
        return !text.empty() && text != "." && text != "..";
    }

    bool ParseProvider(std::string_view text, OAuthProvider* provider)
    {
        if (text.empty())
            *provider = OAuthProvider::None;
        else if (EqualsIgnoringCase(text, "microsoft"))
            *provider = OAuthProvider::Microsoft;
        else if (EqualsIgnoringCase(text, "google"))
            *provider = OAuthProvider::Google;
        else if (EqualsIgnoringCase(text, "generic"))
            *provider = OAuthProvider::Generic;
        else
            return false;
        return true;
    }

    bool CheckUrl(const char* key, std::string_view text, bool required, std::string* url, std::string* why)
    {
        HttpsUrl parsed;
        if (text.empty() && !required)
            return true;
        if (text.empty()) {
            *why = std::string("oauth=generic needs ") + key + "=";
            return false;
        }
        if (!ParseHttpsUrl(text, &parsed)) {
            *why = std::string(key) + "= must be an https:// address";
            return false;
        }
        *url = std::string(text);
        return true;
    }

    bool FillProvider(const OAuthKeys& keys, OAuthProvider provider, OAuthClient* client, std::string* why)
    {
        const std::string_view tenant = TrimBlanks(keys.tenant);
        if (provider != OAuthProvider::Microsoft && !tenant.empty()) {
            *why = "tenant= is only for oauth=microsoft";
            return false;
        }
        if (provider == OAuthProvider::Generic) {
            const std::string_view scope = TrimBlanks(keys.scope);
            if (scope.empty()) {
                *why = "oauth=generic needs scope=";
                return false;
            }
            client->scope = std::string(scope);
            return CheckUrl("authorize_url", TrimBlanks(keys.authorize_url), true, &client->authorize_url, why)
                && CheckUrl("token_url", TrimBlanks(keys.token_url), true, &client->token_url, why)
                && CheckUrl("device_url", TrimBlanks(keys.device_url), false, &client->device_url, why);
        }
        for (const auto& [key, value] :
            { std::pair { "authorize_url", &keys.authorize_url }, std::pair { "token_url", &keys.token_url },
                std::pair { "device_url", &keys.device_url }, std::pair { "scope", &keys.scope } }) {
            if (!TrimBlanks(*value).empty()) {
                *why = std::string(key) + "= is only for oauth=generic";
                return false;
            }
        }
        if (provider == OAuthProvider::Google) {
            client->authorize_url = "https://accounts.google.com/o/oauth2/v2/auth";
            client->token_url = "https://oauth2.googleapis.com/token";
            client->scope = "https://mail.google.com/";
            // Without these Google hands out no refresh token.
            client->authorize_extra = "&access_type=offline&prompt=consent";
            return true;
        }
        if (!tenant.empty() && !IsTenant(tenant)) {
            *why = "tenant= must be common, organizations, consumers, a domain or a tenant id";
            return false;
        }
        const std::string base
            = "https://login.microsoftonline.com/" + std::string(tenant.empty() ? "common" : tenant) + "/oauth2/v2.0/";
        client->authorize_url = base + "authorize";
        client->token_url = base + "token";
        client->device_url = base + "devicecode";
        client->scope = keys.protocol == Protocol::Pop3 ? "https://outlook.office.com/POP.AccessAsUser.All"
                                                        : "https://outlook.office.com/IMAP.AccessAsUser.All";
        client->scope += " offline_access";
        return true;
    }

} // namespace

bool ParseHttpsUrl(std::string_view text, HttpsUrl* url)
{
    constexpr std::string_view kScheme = "https://";
    if (text.size() < kScheme.size() || !EqualsIgnoringCase(text.substr(0, kScheme.size()), kScheme))
        return false;
    if (!IsPlainToken(text) || text.find('#') != std::string_view::npos)
        return false;
    text.remove_prefix(kScheme.size());
    const size_t end = text.find_first_of("/?");
    std::string_view authority = text.substr(0, end);
    std::string_view rest = end == std::string_view::npos ? std::string_view() : text.substr(end);
    if (authority.find('@') != std::string_view::npos || authority.find('[') != std::string_view::npos)
        return false;
    const size_t colon = authority.find(':');
    uint16_t port = 443;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (!ParsePort(digits, Security::Tls, &port) || digits.empty())
            return false;
        authority = authority.substr(0, colon);
    }
    if (authority.empty())
        return false;
    url->host = std::string(authority);
    url->port = port;
    url->path = rest.empty() ? "/" : rest.front() == '?' ? "/" + std::string(rest) : std::string(rest);
    return true;
}

bool MakeOAuthClient(const OAuthKeys& keys, OAuthClient* client, std::string* why)
{
    *client = OAuthClient();
    OAuthProvider provider = OAuthProvider::None;
    const std::string_view name = TrimBlanks(keys.oauth);
    if (!ParseProvider(name, &provider)) {
        *why = "oauth= must be microsoft, google or generic, not \"" + std::string(name) + "\"";
        return false;
    }
    if (provider == OAuthProvider::None) {
        for (const auto& [key, value] : { std::pair { "client_id", &keys.client_id },
                 std::pair { "client_secret", &keys.client_secret }, std::pair { "tenant", &keys.tenant },
                 std::pair { "authorize_url", &keys.authorize_url }, std::pair { "token_url", &keys.token_url },
                 std::pair { "device_url", &keys.device_url }, std::pair { "scope", &keys.scope } }) {
            if (!TrimBlanks(*value).empty()) {
                *why = std::string(key) + "= needs oauth=";
                return false;
            }
        }
        return true;
    }
    if (keys.has_password) {
        *why = "password= does not go with oauth=: remove one of them";
        return false;
    }
    if (keys.has_tokencmd) {
        *why = "tokencmd= does not go with oauth=: remove one of them";
        return false;
    }
    if (keys.auth == AuthMethod::Login) {
        *why = "auth=login does not go with oauth=: use auto, xoauth2 or oauthbearer";
        return false;
    }
    const std::string_view id = TrimBlanks(keys.client_id);
    if (id.empty()) {
        *why = "oauth= needs client_id=: the id of the app you registered with the provider";
        return false;
    }
    if (!IsPlainToken(id)) {
        *why = "client_id= holds blanks or characters outside ASCII";
        return false;
    }
    client->provider = provider;
    client->client_id = std::string(id);
    client->client_secret_blob = std::string(TrimBlanks(keys.client_secret));
    return FillProvider(keys, provider, client, why);
}

bool DeviceFlowAllowed(const OAuthClient& client, std::string* why)
{
    if (client.provider == OAuthProvider::Google) {
        *why = "--device does not go with oauth=google: Google's device flow does not grant the Gmail scope";
        return false;
    }
    if (client.device_url.empty()) {
        *why = "--device needs device_url=";
        return false;
    }
    return true;
}

} // namespace mail
