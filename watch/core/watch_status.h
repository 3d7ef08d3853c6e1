// What the watcher is doing for each account and folder, as the icon, the
// status window and "larkbellctl status" show it, and the status file that
// carries it to larkbellctl. Texts are in the ANSI code page (932).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mail {

enum class WatchPhase {
    Connecting,
    Idling, // IMAP IDLE
    Polling, // IMAP without IDLE, POP3 between polls
    Retrying, // until retry_at, `error` says why
    SignInNeeded, // oauth: larkbellctl login
    LoginRefused, // password or token refused
    CertificateRefused, // `fingerprint`
    FolderMissing,
    TokenCommandFailing,
};
// Only the user can end it (balloon, exit 3).
bool NeedsUser(WatchPhase phase);
bool IsWatching(WatchPhase phase);

constexpr size_t kStatusNameBytes = 256; // account and folder
constexpr size_t kStatusErrorBytes = 300;
constexpr size_t kStatusFingerprintBytes = 95; // "AB:CD:..." for SHA-256
constexpr size_t kStatusMaxFolders = 256;
// No larger file is read: the most the writer writes, with room to spare.
constexpr size_t kStatusFileMaxBytes
    = 64 + kStatusMaxFolders * (2 * kStatusNameBytes + kStatusFingerprintBytes + kStatusErrorBytes + 64);
constexpr size_t kTooltipBytes = 127; // NOTIFYICONDATA's szTip less its NUL

struct FolderStatus {
    std::string account; // the settings section
    std::string folder; // as the user wrote it; empty for POP3
    WatchPhase phase = WatchPhase::Connecting;
    int64_t retry_at = 0; // Unix seconds, while Retrying (or the next try after a refusal)
    int64_t last_ok = 0; // Unix seconds of the last check that worked; 0: none yet
    int64_t failing_since = 0; // Unix seconds since it stopped watching; 0: watching (or never failed)
    std::string error; // the last error in plain words, bounded
    std::string fingerprint; // CertificateRefused: the server's SHA-256, hex
};

struct WatchStatus {
    int64_t paused_until = 0; // Unix seconds; 0: new-mail popups not paused
    std::vector<FolderStatus> folders;
};

// A folder's new report taken into what was known of it: a report without
// last_ok or error keeps the one before, and failing_since starts at the first
// failure (connecting keeps it as it is) and ends once it watches again.
void MergeReport(FolderStatus* known, FolderStatus report, int64_t now);

// At most `max_bytes`, never ending inside a double-byte character; control
// bytes become spaces.
std::string FitCp932(std::string_view text, size_t max_bytes);

enum class UiLanguage { English, Japanese };
struct StatusView {
    UiLanguage language = UiLanguage::English;
    int64_t now = 0;
    int utc_offset_s = 0;
};

// One line per account and folder (columns: where, state, last check, last
// error) under a header line, and a first line while paused.
std::vector<std::string> StatusLines(const WatchStatus& status, const StatusView& view);
struct StatusCells {
    std::string where, state, last_check, last_error;
};
StatusCells StatusCellsOf(const FolderStatus& folder, const StatusView& view);
// "new-mail popups paused until ..." while paused, else empty.
std::string PausedText(const WatchStatus& status, const StatusView& view);
// The icon's tooltip, at most kTooltipBytes: all watching, or the first that
// needs the user and why; while paused, until when.
std::string StatusTooltip(const WatchStatus& status, const StatusView& view);
// 0 every folder watching, 3 anything else (something needs the user, or a
// folder is not watching now); 4, no watcher, is the caller's.
int StatusExitCode(const WatchStatus& status);

// The icon's attention variant: a folder needs the user, or has not been
// watching for longer than `alert_after_s` (a short drop keeps it calm).
bool NeedsAttention(const WatchStatus& status, int64_t alert_after_s, int64_t now);

// The status file's text and its bounded reader: false, with `*status`
// empty, for anything StatusFileText would not write.
std::string StatusFileText(const WatchStatus& status);
bool ParseStatusFile(std::string_view text, WatchStatus* status);

// Balloons: once per change into a NeedsUser phase, once when a folder has
// failed longer than `alert_after_s`; again only after it has been fine in
// between.
struct AlertMemory {
    std::vector<std::pair<std::string, int>> told; // folder key, what was told
};
struct Alert {
    std::string title, text;
};
std::vector<Alert> DueAlerts(
    const WatchStatus& status, int64_t alert_after_s, const StatusView& view, AlertMemory* memory);

// [setting] alertafter, in minutes: empty or not a number means 15; held to 1
// minute to 1 day.
constexpr int kDefaultAlertAfterMinutes = 15;
constexpr int kMaxAlertAfterMinutes = 24 * 60;
constexpr int kMaxPauseMinutes = 24 * 60;
int ParseAlertAfterMinutes(std::string_view text);

// larkbellctl pause MINUTES|off: 1 to a day's minutes, or "off" (0); false
// for anything else.
bool ParsePauseMinutes(std::string_view text, int* minutes);

} // namespace mail
