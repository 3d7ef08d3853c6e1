// Passwords at rest: DPAPI for the current user, as base64 text for the
// settings file. On Windows only the same user can open the blob again.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// Protects `secret` without any UI; false (with `*why`) on failure.
bool ProtectSecret(std::string_view secret, std::string* base64, std::string* why);

// Opens what ProtectSecret made; false (with `*why`) for garbage or a blob
// of another user.
bool UnprotectSecret(std::string_view base64, std::string* secret, std::string* why);

// Overwrites the characters before freeing them.
void WipeString(std::string* text);

} // namespace mail
