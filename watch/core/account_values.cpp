#include "watch/core/account_values.h"

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    // Up to 12 digits: a setting longer than that is a mistake, not a number to clamp.
    bool ParseBounded(std::string_view text, int64_t limit, int64_t* value)
    {
        uint64_t number = 0;
        if (!ParseDecimal(text, static_cast<uint64_t>(limit), &number, 12))
            return false;
        *value = static_cast<int64_t>(number);
        return true;
    }

    // A setting's words, in any case; the row for "" gives the default.
    template <class Value> struct Choice {
        const char* name;
        Value value;
    };

    template <class Value, size_t N>
    bool ParseChoice(std::string_view text, const Choice<Value> (&names)[N], Value* value)
    {
        text = TrimBlanks(text);
        for (const Choice<Value>& choice : names) {
            if (EqualsIgnoringCase(text, choice.name)) {
                *value = choice.value;
                return true;
            }
        }
        return false;
    }

} // namespace

bool ParseSecurity(std::string_view text, Security* security)
{
    static const Choice<Security> kNames[] = { { "", Security::Tls }, { "tls", Security::Tls },
        { "starttls", Security::StartTls }, { "none", Security::None } };
    return ParseChoice(text, kNames, security);
}

bool ParseAuthMethod(std::string_view text, AuthMethod* method)
{
    static const Choice<AuthMethod> kNames[]
        = { { "", AuthMethod::Auto }, { "auto", AuthMethod::Auto }, { "login", AuthMethod::Login },
              { "xoauth2", AuthMethod::XOAuth2 }, { "oauthbearer", AuthMethod::OAuthBearer } };
    return ParseChoice(text, kNames, method);
}

bool ParseProtocol(std::string_view text, Protocol* protocol)
{
    static const Choice<Protocol> kNames[]
        = { { "", Protocol::Imap }, { "imap", Protocol::Imap }, { "pop3", Protocol::Pop3 } };
    return ParseChoice(text, kNames, protocol);
}

bool ParsePort(std::string_view text, Security security, uint16_t* port, Protocol protocol)
{
    text = TrimBlanks(text);
    if (text.empty()) {
        if (protocol == Protocol::Pop3)
            *port = security == Security::Tls ? 995 : 110;
        else
            *port = security == Security::Tls ? 993 : 143;
        return true;
    }
    int64_t value = 0;
    if (!ParseBounded(text, 65535, &value) || value == 0)
        return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

std::vector<std::string> ParseFolders(std::string_view text)
{
    std::vector<std::string> folders;
    while (true) {
        size_t comma = text.find(',');
        std::string_view folder = TrimBlanks(text.substr(0, comma));
        if (!folder.empty())
            folders.emplace_back(folder);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (folders.empty())
        folders.emplace_back("INBOX");
    return folders;
}

bool ParsePollSeconds(std::string_view text, int* seconds)
{
    text = TrimBlanks(text);
    int64_t value = kDefaultPollSeconds;
    if (!text.empty() && !ParseBounded(text, INT64_MAX / 10, &value))
        return false;
    *seconds = static_cast<int>(value < kMinPollSeconds ? kMinPollSeconds
            : value > kMaxPollSeconds                   ? kMaxPollSeconds
                                                        : value);
    return true;
}

bool IsLoopbackHost(std::string_view host)
{
    host = TrimBlanks(host);
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (EqualsIgnoringCase(host, "localhost") || host == "::1" || host == "[::1]")
        return true;
    // Dotted quad with 127 first, each part 0..255 without leading zeros.
    for (int parts = 1; parts <= 4; ++parts) {
        size_t dot = host.find('.');
        std::string_view part = host.substr(0, dot);
        int64_t value = 0;
        if (!ParseBounded(part, 255, &value) || (part.size() > 1 && part[0] == '0') || (parts == 1 && value != 127))
            return false;
        if (dot == std::string_view::npos)
            return parts == 4;
        host.remove_prefix(dot + 1);
    }
    return false;
}

bool ParseFingerprint(std::string_view text, Sha256* fingerprint)
{
    text = TrimBlanks(text);
    bool separated = text.size() == 32 * 3 - 1;
    if (!separated && text.size() != 64)
        return false;
    size_t step = separated ? 3 : 2;
    for (size_t i = 0; i < fingerprint->size(); ++i) {
        size_t at = i * step;
        int high = HexValue(text[at]);
        int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0 || (separated && i + 1 < fingerprint->size() && text[at + 2] != ':'))
            return false;
        (*fingerprint)[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

std::string FormatFingerprint(const Sha256& fingerprint)
{
    std::string text;
    for (uint8_t byte : fingerprint) {
        if (!text.empty())
            text += ':';
        text += HexDigit(byte >> 4);
        text += HexDigit(byte);
    }
    return text;
}

} // namespace mail
