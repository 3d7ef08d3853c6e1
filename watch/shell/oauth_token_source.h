// Access tokens for one OAuth account, shared by its folders: refreshed
// with the stored refresh token, kept in memory only until shortly before
// they expire. A rotated refresh token is stored before the new access
// token is handed out. Once the server calls the refresh token invalid, no
// request is made until a new sign-in has replaced the stored one.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>

#include "watch/core/oauth_settings.h"
#include "win32/locks.h"

namespace mail {

enum class TokenState {
    Ready,
    SignInAgain, // none stored, or the stored one was refused: wait for larkbellctl login
    Failed, // network, server or local failure: back off as after a lost connection
};

class OAuthTokenSource {
public:
    OAuthTokenSource(const OAuthClient& client, std::string token_path);
    OAuthTokenSource(const OAuthTokenSource&) = delete;
    OAuthTokenSource& operator=(const OAuthTokenSource&) = delete;

    // An access token for one login, and in *generation which one it is. A
    // caller whose token was refused passes that token's generation in
    // `refused` (0: none): it is dropped unless another folder has already
    // replaced it. *why is set for SignInAgain and Failed; *first_notice is
    // true only for the first SignInAgain of a stored token (logged once).
    TokenState Get(uint64_t refused, std::string* token, uint64_t* generation, std::string* why, bool* first_notice);

    // An access token just obtained otherwise (by the sign-in itself).
    void Keep(std::string access_token, int64_t expires_in_s);

private:
    TokenState Refresh(std::string* why, bool* first_notice);
    TokenState RefreshWith(const std::string& blob, std::string refresh, std::string* why);

    win32::CriticalSection m_lock; // one refresh at a time for all the folders
    const OAuthClient m_client;
    const std::string m_path;
    std::string m_access;
    uint64_t m_generation = 0;
    int64_t m_renewAtMs = 0;
    std::string m_deadBlob; // the stored text the server refused: waited out
    bool m_missingNoticed = false;
};

// The secret in `client.client_secret_blob` opened, or empty when none.
bool OpenClientSecret(const OAuthClient& client, std::string* secret, std::string* why);

// Posts `form` to an endpoint with the watcher's time limit.
constexpr DWORD kTokenRequestLimitMs = 30 * 1000;

} // namespace mail
