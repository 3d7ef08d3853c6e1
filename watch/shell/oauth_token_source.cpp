#include "watch/shell/oauth_token_source.h"

#include "watch/core/oauth_requests.h"
#include "watch/core/token_answer.h"
#include "watch/core/token_lifetime.h"
#include "watch/shell/https_post.h"
#include "watch/shell/protected_secret.h"
#include "watch/shell/refresh_token_store.h"

namespace mail {

namespace {

    int64_t NowMs() { return static_cast<int64_t>(::GetTickCount64()); }

} // namespace

bool OpenClientSecret(const OAuthClient& client, std::string* secret, std::string* why)
{
    secret->clear();
    if (client.client_secret_blob.empty())
        return true;
    if (UnprotectSecret(client.client_secret_blob, secret, why))
        return true;
    *why = "client_secret cannot be opened: store it again with larkbellctl secret";
    return false;
}

OAuthTokenSource::OAuthTokenSource(const OAuthClient& client, std::string token_path)
    : m_client(client)
    , m_path(std::move(token_path))
{
}

TokenState OAuthTokenSource::Get(
    uint64_t refused, std::string* token, uint64_t* generation, std::string* why, bool* first_notice)
{
    const win32::SectionHold hold(m_lock);
    *first_notice = false;
    if (refused != 0 && refused == m_generation)
        WipeString(&m_access);
    if (m_access.empty() || NowMs() >= m_renewAtMs) {
        const TokenState state = Refresh(why, first_notice);
        if (state != TokenState::Ready)
            return state;
    }
    *token = m_access;
    *generation = m_generation;
    return TokenState::Ready;
}

void OAuthTokenSource::Keep(std::string access_token, int64_t expires_in_s)
{
    const win32::SectionHold hold(m_lock);
    WipeString(&m_access);
    m_access = std::move(access_token);
    ++m_generation;
    m_renewAtMs = TokenRenewAtMs(NowMs(), expires_in_s);
}

TokenState OAuthTokenSource::Refresh(std::string* why, bool* first_notice)
{
    WipeString(&m_access);
    // A second round only when the stored token changed under a refused
    // request: another process (a sign-in, a check) refreshed meanwhile.
    std::string used;
    for (int round = 0; round < 2; ++round) {
        std::string blob;
        std::string refresh;
        switch (LoadRefreshToken(m_path, &blob, &refresh, why)) {
        case StoredToken::Read:
            break;
        case StoredToken::Missing:
            *first_notice = !m_missingNoticed;
            m_missingNoticed = true;
            *why = "not signed in";
            return TokenState::SignInAgain;
        case StoredToken::Failed:
            return TokenState::Failed;
        }
        m_missingNoticed = false;
        if (blob == m_deadBlob || blob == used) {
            WipeString(&refresh);
            if (used.empty())
                *why = "the sign-in was refused";
            return TokenState::SignInAgain;
        }
        const TokenState state = RefreshWith(blob, std::move(refresh), why);
        if (state != TokenState::SignInAgain)
            return state;
        used = blob;
        *first_notice = true;
    }
    m_deadBlob = used;
    return TokenState::SignInAgain;
}

// SignInAgain here means the server called this refresh token invalid.
TokenState OAuthTokenSource::RefreshWith(const std::string& blob, std::string refresh, std::string* why)
{
    std::string secret;
    if (!OpenClientSecret(m_client, &secret, why)) {
        WipeString(&refresh);
        return TokenState::Failed;
    }
    std::string form = RefreshBody(m_client, refresh, secret);
    WipeString(&refresh);
    WipeString(&secret);
    HttpsAnswer answer;
    const int64_t sent = NowMs();
    const bool posted = PostForm(m_client.token_url, form, kTokenRequestLimitMs, &answer, why);
    WipeString(&form);
    if (!posted)
        return TokenState::Failed;
    TokenGrant grant;
    const TokenOutcome outcome = ReadTokenAnswer(answer.status, answer.body, &grant, why);
    WipeString(&answer.body);
    if (outcome == TokenOutcome::InvalidGrant) {
        m_deadBlob = blob;
        return TokenState::SignInAgain;
    }
    if (outcome != TokenOutcome::Granted)
        return TokenState::Failed;
    // Stored before use: the old refresh token may be dead already.
    if (!grant.refresh_token.empty() && !StoreRefreshToken(m_path, grant.refresh_token, why)) {
        *why = "the new refresh token could not be stored: " + *why;
        WipeString(&grant.access_token);
        WipeString(&grant.refresh_token);
        return TokenState::Failed;
    }
    WipeString(&grant.refresh_token);
    m_access = std::move(grant.access_token);
    ++m_generation;
    m_renewAtMs = TokenRenewAtMs(sent, grant.expires_in_s);
    return TokenState::Ready;
}

} // namespace mail
