#include "watch/core/sasl_oauth.h"

namespace mail {

std::string XOAuth2Response(std::string_view user, std::string_view token)
{
    return "user=" + std::string(user) + "\x01" + "auth=Bearer " + std::string(token) + "\x01\x01";
}

std::string OAuthBearerResponse(std::string_view user, std::string_view host, uint16_t port, std::string_view token)
{
    // The GS2 header's authzid escapes "," and "=" (RFC 5801).
    std::string response = "n,a=";
    for (char c : user)
        response += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    response += ",\x01";
    if (!host.empty())
        response += "host=" + std::string(host) + "\x01";
    if (port != 0)
        response += "port=" + std::to_string(port) + "\x01";
    return response + "auth=Bearer " + std::string(token) + "\x01\x01";
}

} // namespace mail
