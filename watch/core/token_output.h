// What a token command printed, read as an access token: the contract of the
// password commands of command-line mail clients.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace mail {

// More output than this is not read; a first line must end within it.
constexpr size_t kMaxTokenOutput = 16 * 1024;

// The first line without its line end and surrounding blanks. False, with
// the reason in *why (never the output itself), when that is empty, too
// long or holds control characters.
bool TokenFromOutput(std::string_view output, std::string* token, std::string* why);

} // namespace mail
