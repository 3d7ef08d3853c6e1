#include "watch/core/account_rules.h"

namespace mail {

namespace {

    bool TokenAuth(const AccountFacts& a) { return a.auth == AuthMethod::XOAuth2 || a.auth == AuthMethod::OAuthBearer; }

    struct Rule {
        RuleStage stage;
        bool (*broken)(const AccountFacts&);
        std::string (*why)(const AccountFacts&);
    };

    const Rule kRules[] = {
        { RuleStage::Transport,
            [](const AccountFacts& a) { return a.security == Security::None && !IsLoopbackHost(a.host); },
            [](const AccountFacts& a) {
                return "security=none is allowed only to a loopback host, not " + std::string(a.host)
                    + ": account refused";
            } },
        { RuleStage::SignIn, [](const AccountFacts& a) { return !a.token_command && !a.oauth && TokenAuth(a); },
            [](const AccountFacts& a) {
                return "auth=" + std::string(a.auth_text) + " needs a tokencmd: account refused";
            } },
        { RuleStage::SignIn, [](const AccountFacts& a) { return a.token_command && a.auth == AuthMethod::Login; },
            [](const AccountFacts&) {
                return std::string("auth=login signs in with a password, not with tokencmd: account refused");
            } },
        { RuleStage::SignIn, [](const AccountFacts& a) { return !a.token_command && !a.oauth && !a.password; },
            [](const AccountFacts& a) {
                return "no password: store one with \"larkbellctl password " + std::string(a.name)
                    + "\", or give a tokencmd; account refused";
            } },
    };

} // namespace

std::string BrokenAccountRule(const AccountFacts& facts, RuleStage stage)
{
    for (const Rule& rule : kRules) {
        if (rule.stage == stage && rule.broken(facts))
            return rule.why(facts);
    }
    return {};
}

} // namespace mail
