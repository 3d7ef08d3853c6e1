#include "watch/shell/account_config.h"

#include "watch/core/account_rules.h"
#include "watch/core/mutf7.h"
#include "watch/shell/code_pages.h"

namespace mail {

namespace {

    bool MakeFolders(const std::string& text, std::vector<WatchedFolder>* folders, std::string* why)
    {
        // ',' and ' ' are never trail bytes in code page 932, so the core can
        // split the raw text.
        for (const std::string& name : ParseFolders(text)) {
            WatchedFolder folder;
            if (!Cp932ToUtf8(name, &folder.display) || !Utf8ToMutf7(folder.display, &folder.wire)) {
                *why = "folder name is not valid code page 932: " + name;
                return false;
            }
            folders->push_back(std::move(folder));
        }
        return true;
    }

    bool MakeOAuth(const AccountEntry& entry, AccountConfig* config, std::string* why)
    {
        const OAuthKeys keys { entry.oauth, entry.tenant, entry.authorize_url, entry.token_url, entry.device_url,
            entry.scope, entry.client_id, entry.client_secret, !entry.password.empty(), !entry.tokencmd.empty(),
            config->auth, config->protocol };
        if (MakeOAuthClient(keys, &config->oauth, why))
            return true;
        *why += ": account refused";
        return false;
    }

    bool Refused(const AccountFacts& facts, RuleStage stage, std::string* why)
    {
        std::string broken = BrokenAccountRule(facts, stage);
        if (broken.empty())
            return false;
        *why = std::move(broken);
        return true;
    }

    // `*why` is made from the INI's code page 932 texts.
    bool CheckAccount(const AccountEntry& entry, AccountConfig* config, std::string* why)
    {
        config->name = entry.name;
        if (!Cp932ToUtf8(entry.name, &config->display))
            config->display = "?";
        if (!entry.too_long.empty()) {
            *why = entry.too_long + " is longer than " + std::to_string(kMaxSettingValue) + " bytes: account refused";
            return false;
        }
        config->host = entry.host;
        if (config->host.empty()) {
            *why = "no host: account refused";
            return false;
        }
        if (!ParseProtocol(entry.protocol, &config->protocol)) {
            *why = "protocol must be imap or pop3, not \"" + entry.protocol + "\": account refused";
            return false;
        }
        if (!ParseSecurity(entry.security, &config->security)) {
            *why = "security must be tls, starttls or none, not \"" + entry.security + "\": account refused";
            return false;
        }
        AccountFacts facts;
        facts.name = entry.name;
        facts.protocol = config->protocol;
        facts.host = config->host;
        facts.security = config->security;
        if (Refused(facts, RuleStage::Transport, why))
            return false;
        if (!ParsePort(entry.port, config->security, &config->port, config->protocol)) {
            *why = "port must be 1 to 65535, not \"" + entry.port + "\": account refused";
            return false;
        }
        if (!Cp932ToUtf8(entry.user, &config->user) || config->user.empty()) {
            *why = "no user: account refused";
            return false;
        }
        if (!ParseAuthMethod(entry.auth, &config->auth)) {
            *why = "auth must be auto, login, xoauth2 or oauthbearer, not \"" + entry.auth + "\": account refused";
            return false;
        }
        config->password_blob = entry.password;
        config->token_command = entry.tokencmd;
        config->token_path = entry.token_path;
        if (!MakeOAuth(entry, config, why))
            return false;
        facts.auth = config->auth;
        facts.auth_text = entry.auth;
        facts.token_command = !config->token_command.empty();
        facts.password = !config->password_blob.empty();
        facts.oauth = config->oauth.provider != OAuthProvider::None;
        if (Refused(facts, RuleStage::SignIn, why))
            return false;
        if (config->protocol == Protocol::Pop3)
            config->folders = { { "", "POP3" } }; // a POP3 mailbox has no folders
        else if (!MakeFolders(entry.folders, &config->folders, why))
            return false;
        if (!ParsePollSeconds(entry.poll, &config->poll_s)) {
            *why = "poll must be a number of seconds, not \"" + entry.poll + "\": account refused";
            return false;
        }
        config->pinned_sha256.clear();
        if (!entry.tlsfingerprint.empty()) {
            Sha256 pin;
            if (!ParseFingerprint(entry.tlsfingerprint, &pin)) {
                *why = "tlsfingerprint must be 64 hex digits (SHA-256): account refused";
                return false;
            }
            config->pinned_sha256.assign(pin.begin(), pin.end());
        }
        return true;
    }

} // namespace

bool MakeAccountConfig(const AccountEntry& entry, AccountConfig* config, std::string* why)
{
    if (CheckAccount(entry, config, why))
        return true;
    *why = Cp932ToUtf8Text(*why);
    return false;
}

} // namespace mail
