// What larkbell sends to an authorization server: the PKCE pair (RFC 7636,
// S256), the authorization address and the token endpoint's form bodies.
// The randomness and the SHA-256 come from the caller.
#pragma once

#include <string>
#include <string_view>

#include "watch/core/oauth_settings.h"

namespace mail {

// Base64 with the URL alphabet and no padding.
std::string Base64Url(std::string_view bytes);

// application/x-www-form-urlencoded, also right in a query: only the
// unreserved characters stay as they are.
std::string FormEncode(std::string_view text);

// 32 random bytes give a 43-character verifier (or state).
std::string PkceVerifier(std::string_view random_bytes);
// The S256 challenge from SHA-256(verifier).
std::string PkceChallenge(std::string_view verifier_sha256);

// "http://127.0.0.1:PORT": the loopback redirect of a native app (RFC 8252),
// as Google documents it for desktop apps, and as Microsoft matches a
// registered "http://127.0.0.1" whatever the port. The IP literal rather than
// localhost: both recommend it, and Microsoft does not take [::1].
std::string LoopbackRedirectUri(uint16_t port);

std::string AuthorizationUrl(
    const OAuthClient& client, std::string_view redirect_uri, std::string_view state, std::string_view challenge);

// Token endpoint bodies; `secret` is the opened client secret, or empty.
std::string CodeExchangeBody(const OAuthClient& client, std::string_view code, std::string_view redirect_uri,
    std::string_view verifier, std::string_view secret);
std::string RefreshBody(const OAuthClient& client, std::string_view refresh_token, std::string_view secret);
std::string DeviceTokenBody(const OAuthClient& client, std::string_view device_code, std::string_view secret);
// The device authorization endpoint's body.
std::string DeviceAuthorizationBody(const OAuthClient& client);

} // namespace mail
