// The client's first message of the two token mechanisms, before base64:
// Google's and Microsoft's XOAUTH2, and OAUTHBEARER (RFC 7628).
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>

namespace mail {

// "user=...^Aauth=Bearer ...^A^A"
std::string XOAuth2Response(std::string_view user, std::string_view token);

// "n,a=...,^Ahost=...^Aport=...^Aauth=Bearer ...^A^A"; host and port are
// left out when empty or 0.
std::string OAuthBearerResponse(std::string_view user, std::string_view host, uint16_t port, std::string_view token);

} // namespace mail
