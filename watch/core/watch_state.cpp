#include "watch/core/watch_state.h"

#include <stdint.h>

#include <algorithm>

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    const char kHeaderV1[] = "larkbellwatch-state 1";
    const char kHeader[] = "larkbellwatch-state 2";

    // Names become printable ASCII without spaces: anything else, and '%',
    // is written as %XX, whatever code page the bytes are in.
    void AppendEscaped(std::string_view name, std::string* out)
    {
        for (char c : name) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u > 0x20 && u < 0x7f && c != '%') {
                *out += c;
            } else {
                *out += '%';
                *out += HexDigit(u >> 4);
                *out += HexDigit(u);
            }
        }
    }

    bool Unescape(std::string_view text, std::string* out)
    {
        out->clear();
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char u = static_cast<unsigned char>(text[i]);
            if (u <= 0x20 || u >= 0x7f)
                return false;
            if (text[i] != '%') {
                *out += text[i];
                continue;
            }
            if (i + 2 >= text.size())
                return false;
            // Upper-case digits only, as written: one spelling for each name.
            int high = HexValue(text[i + 1], false);
            int low = HexValue(text[i + 2], false);
            if (high < 0 || low < 0)
                return false;
            *out += static_cast<char>(high * 16 + low);
            i += 2;
        }
        return true;
    }

    // Without leading zeros: one spelling for each number.
    bool ParseNumber(std::string_view text, uint32_t* value)
    {
        return !(text.size() > 1 && text[0] == '0') && ParseUint32(text, value);
    }

    std::string_view NextField(std::string_view& line)
    {
        size_t space = line.find(' ');
        std::string_view field = line.substr(0, space);
        line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
        return field;
    }

    bool IsPop3Id(std::string_view id)
    {
        if (id.empty() || id.size() > kMaxPop3IdBytes)
            return false;
        for (char c : id) {
            if (c <= 0x20 || c >= 0x7f)
                return false;
        }
        return true;
    }

    bool IsSerializable(const Pop3Seen& seen)
    {
        if (!seen.known || seen.ids.size() > kMaxPop3SeenIds)
            return false;
        for (const std::string& id : seen.ids) {
            if (!IsPop3Id(id))
                return false;
        }
        return true;
    }

    // "ACCOUNT messages N", or "ACCOUNT ids N" followed by N lines of one id
    // each; *ids_left says how many of those are still to come.
    bool ParsePop3Header(std::string_view line, Pop3State* pop3, Pop3Seen** current, uint32_t* ids_left)
    {
        std::string account;
        if (!Unescape(NextField(line), &account) || account.empty() || pop3->size() >= kMaxWatchEntries)
            return false;
        std::string_view kind = NextField(line);
        uint32_t number = 0;
        if ((kind != "ids" && kind != "messages") || !ParseNumber(NextField(line), &number) || !line.empty())
            return false;
        Pop3Seen seen;
        seen.known = true;
        if (kind == "messages") {
            seen.by_count = true;
            seen.messages = number;
        } else if (number > kMaxPop3SeenIds) {
            return false; // checked before any memory is taken for them
        }
        auto [where, added] = pop3->emplace(std::move(account), std::move(seen));
        *current = &where->second;
        *ids_left = where->second.by_count ? 0 : number;
        where->second.ids.reserve(*ids_left);
        return added;
    }

    bool ParseEntry(std::string_view line, WatchState* state)
    {
        std::string account, folder;
        FolderState folder_state;
        folder_state.known = true;
        if (!Unescape(NextField(line), &account) || !Unescape(NextField(line), &folder)
            || !ParseNumber(NextField(line), &folder_state.uidvalidity)
            || !ParseNumber(NextField(line), &folder_state.last_uid) || account.empty() || folder.empty()
            || folder_state.uidvalidity == 0)
            return false;
        // Written only when not 0, so that an older watcher still reads most files.
        if (!line.empty()
            && (!ParseNumber(NextField(line), &folder_state.uidvalidity_changes)
                || folder_state.uidvalidity_changes > kUidValidityChangesTold || !line.empty()))
            return false;
        return state->emplace(WatchKey(std::move(account), std::move(folder)), folder_state).second;
    }

} // namespace

std::string SerializeWatchState(const WatchState& state, const Pop3State& pop3, uint32_t held)
{
    std::string text = std::string(kHeader) + "\n";
    if (held > 0)
        text += "held " + std::to_string(held) + "\n";
    for (const auto& [key, folder_state] : state) {
        if (!folder_state.known || folder_state.uidvalidity == 0 || key.first.empty() || key.second.empty())
            continue; // the parser would refuse the whole file for it
        text += "imap ";
        AppendEscaped(key.first, &text);
        text += ' ';
        AppendEscaped(key.second, &text);
        text += ' ' + std::to_string(folder_state.uidvalidity) + ' ' + std::to_string(folder_state.last_uid);
        if (folder_state.uidvalidity_changes > 0)
            text += ' ' + std::to_string(std::min(folder_state.uidvalidity_changes, kUidValidityChangesTold));
        text += '\n';
    }
    for (const auto& [account, seen] : pop3) {
        if (account.empty() || !IsSerializable(seen))
            continue;
        text += "pop3 ";
        AppendEscaped(account, &text);
        if (seen.by_count) {
            text += " messages " + std::to_string(seen.messages) + '\n';
            continue;
        }
        text += " ids " + std::to_string(seen.ids.size()) + '\n';
        for (const std::string& id : seen.ids) {
            AppendEscaped(id, &text);
            text += '\n';
        }
    }
    return text;
}

bool ParseWatchState(std::string_view text, WatchState* state, Pop3State* pop3, uint32_t* held)
{
    Pop3State dropped;
    Pop3State* accounts = pop3 ? pop3 : &dropped;
    uint32_t held_dropped = 0;
    uint32_t* held_sum = held ? held : &held_dropped;
    state->clear();
    accounts->clear();
    *held_sum = 0;
    bool held_read = false;
    int version = 0;
    Pop3Seen* current = nullptr;
    uint32_t ids_left = 0;
    bool failed = false;
    while (!text.empty() && !failed) {
        size_t newline = text.find('\n');
        if (newline == std::string_view::npos || newline > kMaxWatchLineBytes) {
            failed = true; // a missing last newline means a torn write
            break;
        }
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool ok = false;
        std::string id;
        if (version == 0) {
            version = line == kHeader ? 2 : line == kHeaderV1 ? 1 : -1;
            ok = version > 0;
        } else if (ids_left > 0) {
            ok = Unescape(line, &id) && IsPop3Id(id);
            current->ids.push_back(std::move(id));
            --ids_left;
        } else if (version == 1) {
            ok = state->size() < kMaxWatchEntries && ParseEntry(line, state);
        } else if (line.substr(0, 5) == "imap ") {
            ok = state->size() < kMaxWatchEntries && ParseEntry(line.substr(5), state);
        } else if (line.substr(0, 5) == "pop3 ") {
            ok = ParsePop3Header(line.substr(5), accounts, &current, &ids_left);
        } else if (line.substr(0, 5) == "held " && !held_read) {
            held_read = true;
            ok = ParseNumber(line.substr(5), held_sum) && *held_sum > 0;
        }
        failed = !ok;
    }
    if (failed || version <= 0 || ids_left > 0) {
        state->clear();
        accounts->clear();
        *held_sum = 0;
        return false;
    }
    return true;
}

} // namespace mail
