#include "watch/core/token_lifetime.h"

namespace mail {

int64_t TokenRenewAtMs(int64_t now_ms, int64_t expires_in_s)
{
    if (expires_in_s <= 0)
        return now_ms;
    const int64_t life_ms = (expires_in_s > INT64_MAX / 2000 ? INT64_MAX / 2000 : expires_in_s) * 1000;
    const int64_t margin = life_ms >= 2 * kTokenMarginMs ? kTokenMarginMs : life_ms / 2;
    return now_ms + life_ms - margin;
}

int64_t DevicePollIntervalS(int64_t interval_s, TokenOutcome outcome)
{
    int64_t next = interval_s < 1 ? 1 : interval_s > 60 ? 60 : interval_s;
    if (outcome == TokenOutcome::SlowDown)
        next += 5;
    return next;
}

} // namespace mail
