// Starting the watcher at log-on: one value under the current user's Run key.
#pragma once

#include <string>

namespace mail {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kAutostartValue[] = "larkbellwatch";

// Adds the value "\"<executable>\"" (on) or removes it (off; a missing value
// is already off). False with `*why` on failure.
bool SetAutostart(bool on, const std::string& executable, std::string* why);

} // namespace mail
