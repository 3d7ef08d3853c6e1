// When an access token stops being used, and how often the device flow
// asks: arithmetic on a clock the caller reads.
#pragma once

#include <stdint.h>

#include "watch/core/token_answer.h"

namespace mail {

// A token is replaced this long before the server said it expires...
constexpr int64_t kTokenMarginMs = 5 * 60 * 1000;

// ...or, when it lives shorter than twice that, halfway through its life.
// `now_ms` is when the request was sent; a lifetime of 0 is used once.
int64_t TokenRenewAtMs(int64_t now_ms, int64_t expires_in_s);

// The next device-flow poll interval after `outcome` (RFC 8628 3.5: slow_down
// adds 5 s); the server's interval is raised to at least 1 s, lowered to 60 s.
int64_t DevicePollIntervalS(int64_t interval_s, TokenOutcome outcome);

} // namespace mail
