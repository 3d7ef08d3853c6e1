// The values of one [account:NAME] section, parsed without the platform: the
// shell reads the INI and hands the texts over.
#pragma once

#include <stdint.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

enum class Security { Tls, StartTls, None };
// auto: LOGIN with a password; with a token whichever of OAUTHBEARER and
// XOAUTH2 the server offers, OAUTHBEARER first.
enum class AuthMethod { Auto, Login, XOAuth2, OAuthBearer };
enum class Protocol { Imap, Pop3 };

constexpr int kDefaultPollSeconds = 120;
constexpr int kMinPollSeconds = 10;
constexpr int kMaxPollSeconds = 24 * 60 * 60;

using Sha256 = std::array<uint8_t, 32>;

// Empty means the default (tls); case-insensitive; false on anything else.
bool ParseSecurity(std::string_view text, Security* security);
// Empty means auto; case-insensitive; false on anything else.
bool ParseAuthMethod(std::string_view text, AuthMethod* method);
// Empty means the default (imap); case-insensitive; false on anything else.
bool ParseProtocol(std::string_view text, Protocol* protocol);
// Empty means 993 for tls, 143 otherwise (POP3: 995 and 110); false outside
// 1..65535.
bool ParsePort(std::string_view text, Security security, uint16_t* port, Protocol protocol = Protocol::Imap);
// Comma-separated, trimmed, empty items dropped; nothing left means INBOX.
std::vector<std::string> ParseFolders(std::string_view text);
// Empty means 120; below 10 is raised to 10, above a day lowered to a day.
bool ParsePollSeconds(std::string_view text, int* seconds);
// 127.0.0.0/8, ::1 or localhost: the only hosts security=none may reach.
bool IsLoopbackHost(std::string_view host);
// 64 hex digits in either case, optionally separated by ':' between bytes.
bool ParseFingerprint(std::string_view text, Sha256* fingerprint);
// "AB:CD:..." upper-case, the form the log shows and the setting accepts.
std::string FormatFingerprint(const Sha256& fingerprint);

} // namespace mail
