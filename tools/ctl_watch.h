// larkbellctl's commands for the mailbox watcher, which work on
// larkbellwatch.ini in larkbellctl's own folder.
#pragma once

#include <string>

#include "watch/shell/account_config.h"

// "password NAME": one line from standard input, protected for the current
// user, stored as the account's password. Returns the exit code.
// With key "client_secret", the same for the account's OAuth client secret.
int RunPasswordCommand(const char* account, const char* key);

// "login NAME [--device]": OAuth sign-in, the refresh token stored, then
// the same as check. Returns the exit code.
int RunLoginCommand(const char* account, bool device);

// "check NAME": connects, verifies TLS, logs in and opens each folder once,
// printing one line per folder or one error line. Returns the exit code.
int RunCheckCommand(const char* account);

// "recent": the senders and subjects the watcher handed to the popup,
// newest first. Returns the exit code.
int RunRecentCommand();

// "status": the running watcher's table, one line per account and folder.
// Exit 0 when every folder is watched, 3 when not, 4 when no watcher runs.
int RunStatusCommand();

// "pause MINUTES|off": new-mail popups paused for that long, or resumed.
// Returns the exit code (4: no watcher runs).
int RunPauseCommand(const char* minutes);

// The watcher's settings file beside larkbellctl.
std::string WatchSettingsPath();

// The account [account:NAME] of the watcher's settings, checked; false after
// one line on stderr saying why.
bool ReadCommandAccount(const char* name, mail::AccountConfig* account);

// An account name that fits in a section header.
bool IsValidAccountName(const char* account);
