#include "account_values.h"

namespace mail {

namespace {

    std::string_view Trim(std::string_view text)
    {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        return text;
    }

    bool EqualsIgnoringCase(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i) {
            char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
            if (x != b[i])
                return false;
        }
        return true;
    }

    // Decimal digits only, at most `limit`; false otherwise.
    bool ParseBounded(std::string_view text, int64_t limit, int64_t* value)
    {
        if (text.empty() || text.size() > 12)
            return false;
        int64_t result = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                return false;
            result = result * 10 + (c - '0');
        }
        if (result > limit)
            return false;
        *value = result;
        return true;
    }

    int HexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

} // namespace

bool ParseSecurity(std::string_view text, Security* security)
{
    text = Trim(text);
    if (text.empty() || EqualsIgnoringCase(text, "tls"))
        *security = Security::Tls;
    else if (EqualsIgnoringCase(text, "starttls"))
        *security = Security::StartTls;
    else if (EqualsIgnoringCase(text, "none"))
        *security = Security::None;
    else
        return false;
    return true;
}

bool ParseAuthMethod(std::string_view text, AuthMethod* method)
{
    text = Trim(text);
    if (text.empty() || EqualsIgnoringCase(text, "auto"))
        *method = AuthMethod::Auto;
    else if (EqualsIgnoringCase(text, "login"))
        *method = AuthMethod::Login;
    else if (EqualsIgnoringCase(text, "xoauth2"))
        *method = AuthMethod::XOAuth2;
    else if (EqualsIgnoringCase(text, "oauthbearer"))
        *method = AuthMethod::OAuthBearer;
    else
        return false;
    return true;
}

bool ParseProtocol(std::string_view text, Protocol* protocol)
{
    text = Trim(text);
    if (text.empty() || EqualsIgnoringCase(text, "imap"))
        *protocol = Protocol::Imap;
    else if (EqualsIgnoringCase(text, "pop3"))
        *protocol = Protocol::Pop3;
    else
        return false;
    return true;
}

bool ParsePort(std::string_view text, Security security, uint16_t* port, Protocol protocol)
{
    text = Trim(text);
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
        std::string_view folder = Trim(text.substr(0, comma));
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
    text = Trim(text);
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
    host = Trim(host);
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
    text = Trim(text);
    bool separated = text.size() == 32 * 3 - 1;
    if (!separated && text.size() != 64)
        return false;
    size_t step = separated ? 3 : 2;
    for (size_t i = 0; i < fingerprint->size(); ++i) {
        size_t at = i * step;
        int high = HexDigit(text[at]);
        int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0 || (separated && i + 1 < fingerprint->size() && text[at + 2] != ':'))
            return false;
        (*fingerprint)[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

std::string FormatFingerprint(const Sha256& fingerprint)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : fingerprint) {
        if (!text.empty())
            text += ':';
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

} // namespace mail
