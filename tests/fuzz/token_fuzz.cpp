// The token and device endpoints' answers on arbitrary bytes. The first byte
// picks the HTTP status and which answer is read; what is granted must be
// what the readers promise.
#include <stdint.h>
#include <stdlib.h>

#include "watch/core/loopback_redirect.h"
#include "watch/core/token_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const int kStatus[] = { 200, 400, 401, 500 };
    const int status = kStatus[data[0] & 3];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string why;
    if (data[0] & 4) {
        mail::DeviceGrant device;
        if (mail::ReadDeviceAnswer(status, body, &device, &why)
            && (status != 200 || device.device_code.empty() || device.expires_in_s <= 0 || device.interval_s < 0))
            abort();
    } else if (data[0] & 8) {
        mail::Redirect redirect;
        if (mail::ReadRedirect(body, "s", &redirect) == mail::RedirectOutcome::Code && redirect.code.empty())
            abort();
    } else {
        mail::TokenGrant grant;
        const mail::TokenOutcome outcome = mail::ReadTokenAnswer(status, body, &grant, &why);
        if (outcome == mail::TokenOutcome::Granted
            && (status != 200 || grant.access_token.empty() || grant.expires_in_s < 0))
            abort();
        if (outcome != mail::TokenOutcome::Granted && (why.empty() || !grant.access_token.empty()))
            abort();
        if (!grant.access_token.empty() && why.find(grant.access_token) != std::string::npos)
            abort();
    }
    return 0;
}
