// The one request the sign-in listener waits for: the browser's redirect
// back to http://127.0.0.1:PORT/?code=...&state=... (RFC 8252 7.3), and
// the small page it answers with.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace mail {

// A request head longer than this is answered with 400 unread.
constexpr size_t kMaxRedirectRequest = 8 * 1024;

enum class RedirectOutcome {
    Incomplete, // the head has not ended yet: read more
    Other, // anything but the awaited redirect: 400, keep waiting
    Code, // the redirect with a code
    Error, // the redirect with the server's error
};

struct Redirect {
    std::string code;
    std::string error; // for the log line: error and description, made safe
};

// `head` is what arrived so far; the awaited redirect is a GET of "/" with
// this exact state.
RedirectOutcome ReadRedirect(std::string_view head, std::string_view state, Redirect* redirect);

// Percent-decoding of a query value, '+' as a blank; false on a broken escape.
bool QueryDecode(std::string_view text, std::string* out);

// A whole HTTP/1.1 answer with a small page in Japanese and English (UTF-8).
std::string RedirectAnswer(RedirectOutcome outcome, std::string_view why);

} // namespace mail
