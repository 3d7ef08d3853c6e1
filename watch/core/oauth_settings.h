// An account's OAuth keys checked without the platform: the provider's
// endpoints and scope filled in, settings that make no sense together
// refused with one line naming the key.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>

#include "watch/core/account_values.h"

namespace mail {

enum class OAuthProvider { None, Microsoft, Google, Generic };

// The keys as written (already trimmed of nothing: the rules trim).
struct OAuthKeys {
    std::string oauth;
    std::string tenant;
    std::string authorize_url;
    std::string token_url;
    std::string device_url;
    std::string scope;
    std::string client_id;
    std::string client_secret; // DPAPI blob as base64, like password=
    bool has_password = false;
    bool has_tokencmd = false;
    AuthMethod auth = AuthMethod::Auto;
    Protocol protocol = Protocol::Imap;
};

struct OAuthClient {
    OAuthProvider provider = OAuthProvider::None;
    std::string authorize_url;
    std::string token_url;
    std::string device_url; // empty: no device flow
    std::string scope;
    std::string client_id;
    std::string client_secret_blob;
    std::string authorize_extra; // more "&k=v" for the authorization address
};

struct HttpsUrl {
    std::string host;
    uint16_t port = 443;
    std::string path; // with the query, at least "/"
};

// https only, no user info, no fragment; false for anything else.
bool ParseHttpsUrl(std::string_view text, HttpsUrl* url);

// False, with one line naming the key in *why, when the keys are refused.
// With no oauth= and none of its keys, *client is left with provider None.
bool MakeOAuthClient(const OAuthKeys& keys, OAuthClient* client, std::string* why);

// False, with one line, when this client cannot use the device flow.
bool DeviceFlowAllowed(const OAuthClient& client, std::string* why);

} // namespace mail
