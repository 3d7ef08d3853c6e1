// The token and device authorization endpoints' answers (RFC 6749 5.1/5.2,
// RFC 8628 3.2/3.5), read strictly: no token is taken from an answer that
// is not exactly what the RFCs describe, and no token ever reaches *why.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace mail {

// Longer answers are not read.
constexpr size_t kMaxTokenAnswer = 64 * 1024;

enum class TokenOutcome {
    Granted,
    Pending, // authorization_pending
    SlowDown, // slow_down
    Denied, // access_denied
    Expired, // expired_token
    InvalidGrant, // the refresh token or code is no good: sign in again
    Refused, // another error the server named
    Malformed, // not an answer we can use: like a network failure
};

struct TokenGrant {
    std::string access_token;
    std::string refresh_token; // empty when the server kept the old one
    int64_t expires_in_s = 0;
};

// `status` is the HTTP status. *why holds one line for every outcome but
// Granted.
TokenOutcome ReadTokenAnswer(int status, std::string_view body, TokenGrant* grant, std::string* why);

struct DeviceGrant {
    std::string device_code;
    std::string user_code;
    std::string verification_uri;
    std::string verification_uri_complete; // may be empty
    int64_t expires_in_s = 0;
    int64_t interval_s = 5;
};

bool ReadDeviceAnswer(int status, std::string_view body, DeviceGrant* grant, std::string* why);

} // namespace mail
