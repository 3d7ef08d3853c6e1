#include "watch/shell/refresh_token_store.h"

#include "watch/shell/protected_secret.h"
#include "watch/shell/whole_file.h"

namespace mail {

namespace {

    constexpr size_t kMaxTokenFile = 64 * 1024;

} // namespace

bool StoreRefreshToken(const std::string& path, const std::string& token, std::string* why)
{
    std::string blob;
    if (!ProtectSecret(token, &blob, why))
        return false;
    return ReplaceWholeFile(path, blob + "\r\n", why);
}

StoredToken LoadRefreshToken(const std::string& path, std::string* blob, std::string* token, std::string* why)
{
    switch (ReadWholeFile(path, kMaxTokenFile, blob)) {
    case ReadOutcome::Read:
        break;
    case ReadOutcome::Missing:
        return StoredToken::Missing;
    default:
        *why = "cannot read " + path;
        return StoredToken::Failed;
    }
    while (!blob->empty() && (blob->back() == '\n' || blob->back() == '\r'))
        blob->pop_back();
    if (!UnprotectSecret(*blob, token, why)) {
        *why = "the stored sign-in cannot be opened (" + *why + "): sign in again";
        return StoredToken::Failed;
    }
    return StoredToken::Read;
}

} // namespace mail
