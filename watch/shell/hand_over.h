// New messages go to the notifier exactly as a mail rule sends them: by
// starting "<notifier> N". If that cannot start, the count is added here.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>

#include "watch/shell/watch_log.h"

namespace mail {

// True when the `count` messages reached the shared count one way or the
// other; false (logged loudly) when they did not, and the caller must not
// record them as counted.
bool HandOver(uint32_t count, const std::string& notifier_path, WatchLog& log, std::string_view where);

} // namespace mail
