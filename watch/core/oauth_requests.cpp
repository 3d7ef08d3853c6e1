#include "watch/core/oauth_requests.h"

#include "watch/core/ascii_text.h"
#include "watch/core/base64.h"

namespace mail {

namespace {

    std::string ClientPart(const OAuthClient& client, std::string_view secret)
    {
        std::string part = "&client_id=" + FormEncode(client.client_id);
        if (!secret.empty())
            part += "&client_secret=" + FormEncode(secret);
        return part;
    }

} // namespace

std::string Base64Url(std::string_view bytes)
{
    std::string text = Base64Encode(bytes);
    while (!text.empty() && text.back() == '=')
        text.pop_back();
    for (char& c : text)
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    return text;
}

std::string FormEncode(std::string_view text) { return PercentEncode(text, "-._~"); }

std::string PkceVerifier(std::string_view random_bytes) { return Base64Url(random_bytes); }

std::string PkceChallenge(std::string_view verifier_sha256) { return Base64Url(verifier_sha256); }

std::string LoopbackRedirectUri(uint16_t port) { return "http://127.0.0.1:" + std::to_string(port); }

std::string AuthorizationUrl(
    const OAuthClient& client, std::string_view redirect_uri, std::string_view state, std::string_view challenge)
{
    const char separator = client.authorize_url.find('?') == std::string::npos ? '?' : '&';
    return client.authorize_url + separator + "response_type=code&client_id=" + FormEncode(client.client_id)
        + "&redirect_uri=" + FormEncode(redirect_uri) + "&scope=" + FormEncode(client.scope)
        + "&state=" + FormEncode(state) + "&code_challenge=" + FormEncode(challenge) + "&code_challenge_method=S256"
        + client.authorize_extra;
}

std::string CodeExchangeBody(const OAuthClient& client, std::string_view code, std::string_view redirect_uri,
    std::string_view verifier, std::string_view secret)
{
    return "grant_type=authorization_code&code=" + FormEncode(code) + "&redirect_uri=" + FormEncode(redirect_uri)
        + "&code_verifier=" + FormEncode(verifier) + ClientPart(client, secret);
}

std::string RefreshBody(const OAuthClient& client, std::string_view refresh_token, std::string_view secret)
{
    return "grant_type=refresh_token&refresh_token=" + FormEncode(refresh_token) + ClientPart(client, secret);
}

std::string DeviceTokenBody(const OAuthClient& client, std::string_view device_code, std::string_view secret)
{
    return "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Adevice_code&device_code=" + FormEncode(device_code)
        + ClientPart(client, secret);
}

std::string DeviceAuthorizationBody(const OAuthClient& client)
{
    return "client_id=" + FormEncode(client.client_id) + "&scope=" + FormEncode(client.scope);
}

} // namespace mail
