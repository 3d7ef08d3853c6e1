// The state file: for every account and folder, what was already counted.
// One text file for all accounts, written whole and swapped in by the shell.
#pragma once

#include <stddef.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "watch/core/pop3_count.h"
#include "watch/core/session_contract.h"

namespace mail {

constexpr size_t kMaxWatchEntries = 4096;
constexpr size_t kMaxWatchLineBytes = 4096;

// (account name in CP932 bytes, folder in modified UTF-7) -> what was counted.
using WatchKey = std::pair<std::string, std::string>;
using WatchState = std::map<WatchKey, FolderState>;
// Account name in CP932 bytes -> the POP3 ids already seen there.
using Pop3State = std::map<std::string, Pop3Seen>;

// Entries the parser would refuse (not known, no UIDVALIDITY, an empty name)
// are left out; those folders start with a baseline anyway. `held`: new
// messages counted while popups were paused, not yet handed to the notifier
// (written only when not 0, so that an older watcher still reads most files).
std::string SerializeWatchState(const WatchState& state, const Pop3State& pop3 = {}, uint32_t held = 0);
// False, with all emptied, on anything but a well-formed file of version 2
// (or version 1, which has no POP3 accounts) within the limits. A null `pop3`
// or `held` reads and drops that part.
bool ParseWatchState(std::string_view text, WatchState* state, Pop3State* pop3 = nullptr, uint32_t* held = nullptr);

} // namespace mail
