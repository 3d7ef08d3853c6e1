#include "watch_state.h"

#include <stdint.h>

namespace mail {

namespace {

    const char kHeader[] = "larkbellwatch-state 1";

    // Names become printable ASCII without spaces: anything else, and '%',
    // is written as %XX, whatever code page the bytes are in.
    void AppendEscaped(std::string_view name, std::string* out)
    {
        static const char kHex[] = "0123456789ABCDEF";
        for (char c : name) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u > 0x20 && u < 0x7f && c != '%') {
                *out += c;
            } else {
                *out += '%';
                *out += kHex[u >> 4];
                *out += kHex[u & 15];
            }
        }
    }

    int HexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
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
            int high = HexValue(text[i + 1]);
            int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            *out += static_cast<char>(high * 16 + low);
            i += 2;
        }
        return true;
    }

    bool ParseUint32(std::string_view text, uint32_t* value)
    {
        if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
            return false;
        uint64_t result = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                return false;
            result = result * 10 + static_cast<uint64_t>(c - '0');
        }
        if (result > UINT32_MAX)
            return false;
        *value = static_cast<uint32_t>(result);
        return true;
    }

    std::string_view NextField(std::string_view& line)
    {
        size_t space = line.find(' ');
        std::string_view field = line.substr(0, space);
        line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
        return field;
    }

    bool ParseEntry(std::string_view line, WatchState* state)
    {
        std::string account, folder;
        FolderState folder_state;
        folder_state.known = true;
        if (!Unescape(NextField(line), &account) || !Unescape(NextField(line), &folder)
            || !ParseUint32(NextField(line), &folder_state.uidvalidity)
            || !ParseUint32(NextField(line), &folder_state.last_uid) || !line.empty() || account.empty()
            || folder.empty() || folder_state.uidvalidity == 0)
            return false;
        return state->emplace(WatchKey(std::move(account), std::move(folder)), folder_state).second;
    }

} // namespace

std::string SerializeWatchState(const WatchState& state)
{
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [key, folder_state] : state) {
        if (!folder_state.known || folder_state.uidvalidity == 0 || key.first.empty() || key.second.empty())
            continue; // the parser would refuse the whole file for it
        AppendEscaped(key.first, &text);
        text += ' ';
        AppendEscaped(key.second, &text);
        text += ' ' + std::to_string(folder_state.uidvalidity) + ' ' + std::to_string(folder_state.last_uid) + '\n';
    }
    return text;
}

bool ParseWatchState(std::string_view text, WatchState* state)
{
    state->clear();
    bool header = true;
    while (!text.empty()) {
        size_t newline = text.find('\n');
        if (newline == std::string_view::npos || newline > kMaxWatchLineBytes) {
            state->clear();
            return false; // a missing last newline means a torn write
        }
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool ok = header ? line == kHeader : state->size() < kMaxWatchEntries && ParseEntry(line, state);
        if (!ok) {
            state->clear();
            return false;
        }
        header = false;
    }
    if (header)
        return false;
    return true;
}

} // namespace mail
