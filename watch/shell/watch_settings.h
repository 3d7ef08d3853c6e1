// larkbellwatch.ini as written: the global [setting] section and one
// [account:NAME] section per account, values still in code page 932 and not
// yet checked (the core's account_values does that).
#pragma once

#include <string>
#include <vector>

#include "watch/core/watch_status.h"

namespace mail {

constexpr size_t kMaxSettingValue = 4094; // bytes of code page 932 in one value

struct AccountEntry {
    std::string name; // what follows "account:" in the section name
    std::string protocol;
    std::string host;
    std::string port;
    std::string security;
    std::string user;
    std::string password; // DPAPI blob as base64
    std::string tokencmd; // a command line that prints an access token
    std::string auth;
    std::string folders;
    std::string poll;
    std::string tlsfingerprint;
    // OAuth sign-in (see oauth_settings.h); client_secret is a DPAPI blob.
    std::string oauth;
    std::string tenant;
    std::string authorize_url;
    std::string token_url;
    std::string device_url;
    std::string scope;
    std::string client_id;
    std::string client_secret;
    std::string token_path; // where the refresh token of an oauth= account is kept
    std::string too_long; // the first key whose value is longer than kMaxSettingValue
};

// The keys of an account section: the one list the reader takes its names from.
constexpr char kPasswordKey[] = "password"; // also written by larkbellctl
constexpr char kClientSecretKey[] = "client_secret"; // likewise
struct AccountKey {
    const char* name;
    std::string AccountEntry::*value;
};

inline constexpr AccountKey kAccountKeys[] = {
    { "protocol", &AccountEntry::protocol },
    { "host", &AccountEntry::host },
    { "port", &AccountEntry::port },
    { "security", &AccountEntry::security },
    { "user", &AccountEntry::user },
    { kPasswordKey, &AccountEntry::password },
    { "tokencmd", &AccountEntry::tokencmd },
    { "auth", &AccountEntry::auth },
    { "folders", &AccountEntry::folders },
    { "poll", &AccountEntry::poll },
    { "tlsfingerprint", &AccountEntry::tlsfingerprint },
    { "oauth", &AccountEntry::oauth },
    { "tenant", &AccountEntry::tenant },
    { "authorize_url", &AccountEntry::authorize_url },
    { "token_url", &AccountEntry::token_url },
    { "device_url", &AccountEntry::device_url },
    { "scope", &AccountEntry::scope },
    { "client_id", &AccountEntry::client_id },
    { kClientSecretKey, &AccountEntry::client_secret },
};

// The keys of section [setting].
constexpr char kNotifierKey[] = "notifier";
constexpr char kKeepaliveKey[] = "keepalive";
constexpr char kTimeoutKey[] = "timeout";
constexpr char kIconKey[] = "icon";
constexpr char kAlertAfterKey[] = "alertafter";
inline constexpr const char* kGlobalKeys[] = { kNotifierKey, kKeepaliveKey, kTimeoutKey, kIconKey, kAlertAfterKey };

// The keys of section [preview].
constexpr char kPreviewSection[] = "preview";
constexpr char kPreviewShowKey[] = "show";
inline constexpr const char* kPreviewKeys[] = { kPreviewShowKey };

struct WatchSettings {
    std::string notifier; // file name in the watcher's folder
    int keepalive_s = 300;
    int timeout_s = 30;
    bool icon = true; // the notification-area icon; taken without reconnecting
    int alert_after_min = kDefaultAlertAfterMinutes; // a balloon when a folder fails longer
    bool preview = true; // [preview] show: fetch the new messages' senders and subjects for the popup
    std::vector<AccountEntry> accounts; // in file order
};

constexpr char kAccountPrefix[] = "account:";

WatchSettings ReadWatchSettings(const std::string& ini_path);

// The section's keys as written; false when the file has no such section.
bool ReadAccountEntry(const std::string& ini_path, const std::string& name, AccountEntry* entry);

} // namespace mail
