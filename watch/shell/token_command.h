// Runs an account's token command: hidden, stdin from NUL, for at most a
// time limit, and takes its first line of standard output as the token.
#pragma once

#include <windows.h>

#include <string>

namespace mail {

constexpr DWORD kTokenCommandLimitMs = 30 * 1000;

// `command` is a command line in the ANSI code page, as the settings hold
// it. A setting `stop` event ends the wait early. False, with the reason in
// *why for a "token command failed: ..." line, when no token came; the
// token itself is never in *why.
bool RunTokenCommand(const std::string& command, HANDLE stop, DWORD limit_ms, std::string* token, std::string* why);

} // namespace mail
