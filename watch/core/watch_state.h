// The state file: for every account and folder, what was already counted.
// One text file for all accounts, written whole and swapped in by the shell.
#pragma once

#include <stddef.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "imap_session.h"

namespace mail {

constexpr size_t kMaxWatchEntries = 4096;
constexpr size_t kMaxWatchLineBytes = 4096;

// (account name in CP932 bytes, folder in modified UTF-7) -> what was counted.
using WatchKey = std::pair<std::string, std::string>;
using WatchState = std::map<WatchKey, FolderState>;

// Entries the parser would refuse (not known, no UIDVALIDITY, an empty name)
// are left out; those folders start with a baseline anyway.
std::string SerializeWatchState(const WatchState& state);
// False, with *state emptied, on anything but a well-formed file of this
// version within the limits.
bool ParseWatchState(std::string_view text, WatchState* state);

} // namespace mail
