// The rules between an account's settings, each valid alone: which transport
// may carry the credentials, and which sign-in goes with which protocol.
#pragma once

#include <string>
#include <string_view>

#include "watch/core/account_values.h"

namespace mail {

// What the rules read of an account; the texts as the INI writes them.
struct AccountFacts {
    std::string_view name;
    Protocol protocol = Protocol::Imap;
    std::string_view host;
    Security security = Security::Tls;
    AuthMethod auth = AuthMethod::Auto;
    std::string_view auth_text;
    bool token_command = false;
    bool password = false;
    bool oauth = false; // oauth= given (its own conflicts are checked by MakeOAuthClient)
};

// Each stage is checked as soon as the settings it reads are parsed, so that
// an account with several faults is refused for the first of them.
enum class RuleStage { Transport, SignIn };

// Empty when the account keeps every rule of `stage`; otherwise the first
// rule it breaks, as one line for the log.
std::string BrokenAccountRule(const AccountFacts& facts, RuleStage stage);

} // namespace mail
