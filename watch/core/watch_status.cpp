#include "watch/core/watch_status.h"

#include <stdio.h>

#include <algorithm>
#include <iterator>

#include "notifier/cp932.h"
#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    constexpr char kMagic[] = "larkbellwatch-status 1";
    constexpr int64_t kMaxTime = 999999999999; // 12 digits, as the recent list writes times
    constexpr size_t kAlertTitleBytes = 63; // NOTIFYICONDATA's szInfoTitle less its NUL
    constexpr size_t kAlertTextBytes = 255; // szInfo likewise
    constexpr int kToldUnreachable = -1;

    // The file's word for each phase, in the enum's order.
    constexpr const char* kPhaseWords[] = { "connecting", "idling", "polling", "retrying", "signin", "loginrefused",
        "certrefused", "foldermissing", "tokencommand" };

    // English and Japanese (code page 932) side by side; "%s" takes one value.
    struct Text {
        const char* english;
        const char* japanese;
    };
    constexpr Text kConnecting { "connecting", "\x90\xDA\x91\xB1\x92\x86" };
    constexpr Text kIdling { "watching (IDLE)", "\x8A\xC4\x8E\x8B\x92\x86 (IDLE)" };
    constexpr Text kPolling { "watching (polling)",
        "\x8A\xC4\x8E\x8B\x92\x86 (\x92\xE8\x8A\xFA\x8Am\x94"
        "F)" };
    constexpr Text kRetrying { "waiting to retry", "\x8D\xC4\x90\xDA\x91\xB1\x91\xD2\x82\xBF" };
    constexpr Text kRetryingUntil { "waiting to retry until %s",
        "%s \x82\xDC\x82\xC5\x8D\xC4\x90\xDA\x91\xB1\x91\xD2\x82\xBF" };
    constexpr Text kSignIn { "sign-in needed",
        "\x83T\x83"
        "C\x83\x93\x83"
        "C\x83\x93\x82\xAA\x95K\x97v" };
    constexpr Text kSignInHow { "sign-in needed (larkbellctl login %s)",
        "\x83T\x83"
        "C\x83\x93\x83"
        "C\x83\x93\x82\xAA\x95K\x97v (larkbellctl login %s)" };
    constexpr Text kLoginRefused { "login refused",
        "\x83\x8D\x83O\x83"
        "C\x83\x93\x8B\x91\x94\xDB" };
    constexpr Text kCertRefused { "certificate refused", "\x8F\xD8\x96\xBE\x8F\x91\x82\xF0\x8B\x91\x94\xDB" };
    constexpr Text kCertRefusedPrint { "certificate refused (SHA-256 %s)",
        "\x8F\xD8\x96\xBE\x8F\x91\x82\xF0\x8B\x91\x94\xDB (SHA-256 %s)" };
    constexpr Text kFolderMissing { "folder not found",
        "\x83t\x83H\x83\x8B\x83_\x81[\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1" };
    constexpr Text kTokenCommand { "token command failing",
        "\x83g\x81[\x83N\x83\x93\x83R\x83}\x83\x93\x83h\x82\xAA\x8E\xB8\x94s" };
    constexpr Text kHeaders[] = {
        { "where", "\x8F\xEA\x8F\x8A" },
        { "state", "\x8F\xF3\x91\xD4" },
        { "last check",
            "\x8D\xC5\x8FI\x8Am\x94"
            "F" },
        { "last error", "\x8D\xC5\x8C\xE3\x82\xCC\x83G\x83\x89\x81[" },
    };
    constexpr Text kPausedUntil { "new-mail popups paused until %s",
        "%s \x82\xDC\x82\xC5\x90V\x92\x85\x83\x81\x81[\x83\x8B\x82\xCC\x83|\x83"
        "b\x83v\x83"
        "A\x83"
        "b\x83v\x82\xF0"
        "\x88\xEA\x8E\x9E\x92\xE2\x8E~\x92\x86" };
    constexpr Text kAllWatching { "larkbellwatch: watching %s folder(s)",
        "larkbellwatch: %s \x83t\x83H\x83\x8B\x83_\x81[\x82\xF0\x8A\xC4\x8E\x8B\x92\x86" };
    constexpr Text kUnreachable { "not reachable since %s",
        "%s \x82\xA9\x82\xE7\x90\xDA\x91\xB1\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1" };

    std::string Say(const Text& text, const StatusView& view, std::string_view value = {})
    {
        std::string said = view.language == UiLanguage::Japanese ? text.japanese : text.english;
        const size_t at = said.find("%s");
        if (at != std::string::npos)
            said.replace(at, 2, value);
        return said;
    }

    bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

    int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

    // "HH:MM" on the day of view.now, "MM-DD HH:MM" on another, local time.
    std::string Clock(int64_t unix_s, const StatusView& view)
    {
        const int64_t local = unix_s + view.utc_offset_s;
        const int64_t day = FloorDiv(local, 86400);
        const int64_t second = local - day * 86400;
        char text[32];
        if (day == FloorDiv(view.now + view.utc_offset_s, 86400)) {
            snprintf(
                text, sizeof text, "%02d:%02d", static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60));
            return text;
        }
        // Civil date from days since 1970 (H. Hinnant's algorithm).
        const int64_t z = day + 719468;
        const int64_t era = FloorDiv(z, 146097);
        const int64_t doe = z - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const int64_t mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        snprintf(text, sizeof text, "%02d-%02d %02d:%02d", m, d, static_cast<int>(second / 3600),
            static_cast<int>(second / 60 % 60));
        return text;
    }

    std::string Where(const FolderStatus& folder)
    {
        return folder.folder.empty() ? folder.account : folder.account + "/" + folder.folder;
    }

    // `detailed`: with the fingerprint and the command to sign in, for the
    // window and the console; the tooltip has no room for them.
    std::string StateText(const FolderStatus& folder, const StatusView& view, bool detailed)
    {
        switch (folder.phase) {
        case WatchPhase::Connecting:
            return Say(kConnecting, view);
        case WatchPhase::Idling:
            return Say(kIdling, view);
        case WatchPhase::Polling:
            return Say(kPolling, view);
        case WatchPhase::Retrying:
            return folder.retry_at > 0 ? Say(kRetryingUntil, view, Clock(folder.retry_at, view)) : Say(kRetrying, view);
        case WatchPhase::SignInNeeded:
            return detailed ? Say(kSignInHow, view, folder.account) : Say(kSignIn, view);
        case WatchPhase::LoginRefused:
            return Say(kLoginRefused, view);
        case WatchPhase::CertificateRefused:
            return detailed && !folder.fingerprint.empty() ? Say(kCertRefusedPrint, view, folder.fingerprint)
                                                           : Say(kCertRefused, view);
        case WatchPhase::FolderMissing:
            return Say(kFolderMissing, view);
        case WatchPhase::TokenCommandFailing:
            return Say(kTokenCommand, view);
        }
        return {};
    }

    // `first` and, on a line of its own, as much of `second` as fits.
    std::string TwoLines(std::string_view first, std::string_view second, size_t max_bytes)
    {
        std::string text = FitCp932(first, max_bytes);
        if (!second.empty() && text.size() + 1 < max_bytes)
            text += "\n" + FitCp932(second, max_bytes - text.size() - 1);
        return text;
    }

    std::string FolderKey(const FolderStatus& folder) { return folder.account + '\t' + folder.folder; }

    // The first folder that needs the user, else the first not watching.
    const FolderStatus* FirstTrouble(const WatchStatus& status)
    {
        for (const FolderStatus& folder : status.folders) {
            if (NeedsUser(folder.phase))
                return &folder;
        }
        for (const FolderStatus& folder : status.folders) {
            if (!IsWatching(folder.phase))
                return &folder;
        }
        return nullptr;
    }

    // One spelling for each number, as written.
    bool ParseTime(std::string_view text, int64_t* time)
    {
        uint64_t value = 0;
        if ((text.size() > 1 && text[0] == '0') || !ParseDecimal(text, kMaxTime, &value, 12))
            return false;
        *time = static_cast<int64_t>(value);
        return true;
    }

    int64_t Bounded(int64_t time) { return time < 0 ? 0 : std::min(time, kMaxTime); }

    bool IsField(std::string_view text, size_t max_bytes) { return FitCp932(text, max_bytes) == text; }

    bool ParsePhase(std::string_view word, WatchPhase* phase)
    {
        for (size_t i = 0; i < std::size(kPhaseWords); ++i) {
            if (word == kPhaseWords[i]) {
                *phase = static_cast<WatchPhase>(i);
                return true;
            }
        }
        return false;
    }

    bool ParseFolderLine(std::string_view line, FolderStatus* folder)
    {
        const std::vector<std::string_view> fields = Split(line, '\t', 8);
        if (fields.size() != 8 || fields[0].empty() || !IsField(fields[0], kStatusNameBytes)
            || !IsField(fields[1], kStatusNameBytes) || !ParsePhase(fields[2], &folder->phase)
            || !ParseTime(fields[3], &folder->retry_at) || !ParseTime(fields[4], &folder->last_ok)
            || !ParseTime(fields[5], &folder->failing_since) || !IsField(fields[6], kStatusFingerprintBytes)
            || !IsField(fields[7], kStatusErrorBytes))
            return false;
        folder->account = fields[0];
        folder->folder = fields[1];
        folder->fingerprint = fields[6];
        folder->error = fields[7];
        return true;
    }

} // namespace

bool NeedsUser(WatchPhase phase)
{
    return phase == WatchPhase::SignInNeeded || phase == WatchPhase::LoginRefused
        || phase == WatchPhase::CertificateRefused || phase == WatchPhase::FolderMissing
        || phase == WatchPhase::TokenCommandFailing;
}

bool IsWatching(WatchPhase phase) { return phase == WatchPhase::Idling || phase == WatchPhase::Polling; }

void MergeReport(FolderStatus* known, FolderStatus report, int64_t now)
{
    if (report.last_ok == 0)
        report.last_ok = known->last_ok;
    if (report.error.empty())
        report.error = known->error; // the last error stays until another comes
    if (IsWatching(report.phase))
        report.failing_since = 0;
    else if (report.phase == WatchPhase::Connecting || known->failing_since != 0)
        report.failing_since = known->failing_since;
    else
        report.failing_since = now;
    *known = std::move(report);
}

std::string FitCp932(std::string_view text, size_t max_bytes)
{
    std::string fit;
    for (size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const bool pair
            = IsCp932LeadByte(byte) && i + 1 < text.size() && IsTrailByte(static_cast<unsigned char>(text[i + 1]));
        const size_t size = pair ? 2 : 1;
        if (fit.size() + size > max_bytes)
            break;
        if (pair)
            fit.append(text.substr(i, 2));
        else
            fit += byte < 0x20 || byte == 0x7F ? ' ' : IsCp932LeadByte(byte) ? '?' : static_cast<char>(byte);
        i += size;
    }
    return fit;
}

StatusCells StatusCellsOf(const FolderStatus& folder, const StatusView& view)
{
    StatusCells cells;
    cells.where = Where(folder);
    cells.state = StateText(folder, view, true);
    cells.last_check = folder.last_ok > 0 ? Clock(folder.last_ok, view) : "-";
    cells.last_error = folder.error;
    return cells;
}

std::string PausedText(const WatchStatus& status, const StatusView& view)
{
    return status.paused_until > view.now ? Say(kPausedUntil, view, Clock(status.paused_until, view)) : std::string();
}

std::vector<std::string> StatusLines(const WatchStatus& status, const StatusView& view)
{
    std::vector<StatusCells> rows { { Say(kHeaders[0], view), Say(kHeaders[1], view), Say(kHeaders[2], view),
        Say(kHeaders[3], view) } };
    for (const FolderStatus& folder : status.folders)
        rows.push_back(StatusCellsOf(folder, view));
    size_t where = 0, state = 0, last_check = 0;
    for (const StatusCells& row : rows) {
        where = std::max(where, row.where.size());
        state = std::max(state, row.state.size());
        last_check = std::max(last_check, row.last_check.size());
    }
    std::vector<std::string> lines;
    const std::string paused = PausedText(status, view);
    if (!paused.empty())
        lines.push_back(paused);
    // In code page 932 a character's bytes are its width in a console.
    for (const StatusCells& row : rows) {
        std::string line = row.where + std::string(where - row.where.size() + 2, ' ') + row.state
            + std::string(state - row.state.size() + 2, ' ') + row.last_check
            + std::string(last_check - row.last_check.size() + 2, ' ') + row.last_error;
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string StatusTooltip(const WatchStatus& status, const StatusView& view)
{
    const FolderStatus* trouble = FirstTrouble(status);
    const std::string summary = trouble ? Where(*trouble) + ": " + StateText(*trouble, view, false)
                                        : Say(kAllWatching, view, std::to_string(status.folders.size()));
    const std::string paused = FitCp932(PausedText(status, view), kTooltipBytes / 2);
    if (paused.empty())
        return FitCp932(summary, kTooltipBytes);
    // The pause is said whole; the summary gets what is left.
    return FitCp932(summary, kTooltipBytes - paused.size() - 1) + "\n" + paused;
}

int StatusExitCode(const WatchStatus& status)
{
    for (const FolderStatus& folder : status.folders) {
        if (!IsWatching(folder.phase))
            return 3;
    }
    return 0;
}

bool NeedsAttention(const WatchStatus& status, int64_t alert_after_s, int64_t now)
{
    for (const FolderStatus& folder : status.folders) {
        if (NeedsUser(folder.phase) || (folder.failing_since > 0 && now - folder.failing_since > alert_after_s))
            return true;
    }
    return false;
}

std::string StatusFileText(const WatchStatus& status)
{
    std::string text = std::string(kMagic) + "\npaused " + std::to_string(Bounded(status.paused_until)) + "\n";
    size_t written = 0;
    for (const FolderStatus& folder : status.folders) {
        if (folder.account.empty() || written == kStatusMaxFolders)
            continue;
        ++written;
        text += FitCp932(folder.account, kStatusNameBytes) + '\t' + FitCp932(folder.folder, kStatusNameBytes) + '\t'
            + kPhaseWords[static_cast<int>(folder.phase)] + '\t' + std::to_string(Bounded(folder.retry_at)) + '\t'
            + std::to_string(Bounded(folder.last_ok)) + '\t' + std::to_string(Bounded(folder.failing_since)) + '\t'
            + FitCp932(folder.fingerprint, kStatusFingerprintBytes) + '\t' + FitCp932(folder.error, kStatusErrorBytes)
            + '\n';
    }
    return text;
}

bool ParseStatusFile(std::string_view text, WatchStatus* status)
{
    *status = WatchStatus();
    std::vector<std::string_view> lines = Split(text, '\n', kStatusMaxFolders + 3);
    // The last newline ends the file: without it the write was torn.
    if (lines.size() < 3 || lines.size() > kStatusMaxFolders + 3 || !lines.back().empty() || lines[0] != kMagic
        || lines[1].substr(0, 7) != "paused ")
        return false;
    lines.pop_back();
    WatchStatus read;
    if (!ParseTime(lines[1].substr(7), &read.paused_until))
        return false;
    for (size_t i = 2; i < lines.size(); ++i) {
        FolderStatus folder;
        if (!ParseFolderLine(lines[i], &folder))
            return false;
        read.folders.push_back(std::move(folder));
    }
    *status = std::move(read);
    return true;
}

std::vector<Alert> DueAlerts(
    const WatchStatus& status, int64_t alert_after_s, const StatusView& view, AlertMemory* memory)
{
    std::vector<Alert> alerts;
    std::vector<std::pair<std::string, int>> told;
    for (const FolderStatus& folder : status.folders) {
        const std::string key = FolderKey(folder);
        const auto before = std::find_if(memory->told.begin(), memory->told.end(),
            [&key](const std::pair<std::string, int>& entry) { return entry.first == key; });
        const bool known = before != memory->told.end();
        if (IsWatching(folder.phase))
            continue; // fine again: what was told is forgotten
        std::string text;
        int now_told = known ? before->second : 0;
        if (NeedsUser(folder.phase) && (!known || before->second != static_cast<int>(folder.phase))) {
            text = StateText(folder, view, true);
            now_told = static_cast<int>(folder.phase);
        } else if (!known && folder.failing_since > 0 && view.now - folder.failing_since > alert_after_s) {
            text = Say(kUnreachable, view, Clock(folder.failing_since, view));
            now_told = kToldUnreachable;
        }
        if (!text.empty())
            alerts.push_back({ FitCp932("larkbellwatch: " + Where(folder), kAlertTitleBytes),
                TwoLines(text, folder.error, kAlertTextBytes) });
        if (!text.empty() || known)
            told.emplace_back(key, now_told);
    }
    memory->told = std::move(told);
    return alerts;
}

bool ParsePauseMinutes(std::string_view text, int* minutes)
{
    uint64_t value = 0;
    if (text == "off")
        value = 0;
    else if (!ParseDecimal(text, kMaxPauseMinutes, &value, 4) || value == 0)
        return false;
    *minutes = static_cast<int>(value);
    return true;
}

int ParseAlertAfterMinutes(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty() || LeadingDigits(text) != text.size())
        return kDefaultAlertAfterMinutes;
    uint64_t minutes = 0;
    for (char c : text) {
        minutes = minutes * 10 + static_cast<uint64_t>(c - '0');
        if (minutes > static_cast<uint64_t>(kMaxAlertAfterMinutes))
            return kMaxAlertAfterMinutes;
    }
    return minutes < 1 ? 1 : static_cast<int>(minutes);
}

} // namespace mail
