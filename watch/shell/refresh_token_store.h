// An account's refresh token at rest: DPAPI for the current user, in a file
// of its own beside the settings, always replaced whole (a crash leaves the
// old token or the new one, never neither).
#pragma once

#include <string>

namespace mail {

bool StoreRefreshToken(const std::string& path, const std::string& token, std::string* why);

enum class StoredToken { Read, Missing, Failed };

// The file's protected text in *blob (to notice a new sign-in) and the
// opened token in *token.
StoredToken LoadRefreshToken(const std::string& path, std::string* blob, std::string* token, std::string* why);

} // namespace mail
