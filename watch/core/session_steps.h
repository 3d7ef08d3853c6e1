// Small steps both protocol sessions take when they queue actions.
#pragma once
#include <stdint.h>

#include <string>
#include <string_view>

#include "imap_session.h"

namespace mail::session_steps {

// Server text is cut before it reaches a log line, but not shorter than a
// secret it might echo (a token is up to 16 KiB, a third more in base64), so
// that the whole secret is still found and masked.
constexpr size_t kMaxServerText = 32 * 1024;

inline Action MakeAction(Action::Kind kind, std::string bytes = {}, std::string text = {})
{
    Action action;
    action.kind = kind;
    action.bytes = std::move(bytes);
    action.text = std::move(text);
    return action;
}

inline int64_t Later(int64_t when, int64_t delay)
{
    return delay > 0 && when > INT64_MAX - delay ? INT64_MAX : when + delay;
}

// Server text goes to a log file: bounded, without control bytes.
inline std::string Printable(std::string_view text)
{
    std::string result(text.substr(0, kMaxServerText));
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return result;
}

} // namespace mail::session_steps
