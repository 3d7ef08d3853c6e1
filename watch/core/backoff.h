// How long the watcher waits before it connects again. The caller supplies
// the randomness, so these stay pure and testable.
#pragma once

#include <stdint.h>

namespace mail {

constexpr int64_t kFirstRetryMs = 1000;
constexpr int64_t kLongestRetryMs = 5 * 60 * 1000;
constexpr int64_t kLoginRetryMs = 30 * 60 * 1000; // a wrong password must not lock the account

// `failures` counts the connections that failed in a row (1 for the first);
// `jitter` is a random value in [0, 1) that spreads the reconnects of many
// watchers. The result lies within [3/4, 1] of 1 s * 2^(failures-1), capped
// at 5 min; after a refused login it is never less than 30 min.
int64_t ReconnectDelayMs(int failures, bool login_refused, double jitter);

} // namespace mail
