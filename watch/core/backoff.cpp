#include "watch/core/backoff.h"

namespace mail {

int64_t ReconnectDelayMs(int failures, bool login_refused, double jitter)
{
    if (!(jitter >= 0.0 && jitter < 1.0)) // also NaN
        jitter = 0.0;
    if (login_refused)
        return kLoginRetryMs + static_cast<int64_t>(jitter * (kLoginRetryMs / 6));
    int64_t base = kFirstRetryMs;
    for (int i = 1; i < failures && base < kLongestRetryMs; ++i)
        base *= 2;
    if (base > kLongestRetryMs)
        base = kLongestRetryMs;
    return base - base / 4 + static_cast<int64_t>(jitter * static_cast<double>(base / 4));
}

} // namespace mail
