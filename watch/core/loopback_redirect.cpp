#include "watch/core/loopback_redirect.h"

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    std::string Printable(std::string_view text)
    {
        std::string out;
        for (char c : text.substr(0, 200))
            out += c >= ' ' && c <= '~' && c != '<' && c != '>' && c != '&' ? c : '?';
        return out;
    }

    // The query's values by name; a name given twice is refused as a whole.
    bool ReadQuery(
        std::string_view query, std::string* code, std::string* state, std::string* error, std::string* description)
    {
        bool seen[4] = {};
        while (!query.empty()) {
            const size_t amp = query.find('&');
            const std::string_view pair = query.substr(0, amp);
            query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
            const size_t equals = pair.find('=');
            const std::string_view name = pair.substr(0, equals);
            const std::string_view value
                = equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
            const std::string_view names[4] = { "code", "state", "error", "error_description" };
            std::string* targets[4] = { code, state, error, description };
            for (int i = 0; i < 4; ++i) {
                if (name != names[i])
                    continue;
                if (seen[i] || !QueryDecode(value, targets[i]))
                    return false;
                seen[i] = true;
            }
        }
        return true;
    }

} // namespace

bool QueryDecode(std::string_view text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            *out += ' ';
        } else if (text[i] != '%') {
            *out += text[i];
        } else {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = high < 0 ? -1 : HexValue(text[i + 2]);
            if (low < 0)
                return false;
            *out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return true;
}

RedirectOutcome ReadRedirect(std::string_view head, std::string_view state, Redirect* redirect)
{
    *redirect = Redirect();
    const size_t end = head.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return head.size() >= kMaxRedirectRequest ? RedirectOutcome::Other : RedirectOutcome::Incomplete;
    const std::string_view line = head.substr(0, head.find("\r\n"));
    constexpr std::string_view kStart = "GET /?";
    if (line.substr(0, kStart.size()) != kStart)
        return RedirectOutcome::Other;
    const size_t blank = line.find(' ', kStart.size());
    if (blank == std::string_view::npos || (line.substr(blank) != " HTTP/1.1" && line.substr(blank) != " HTTP/1.0"))
        return RedirectOutcome::Other;
    std::string code, given_state, error, description;
    if (!ReadQuery(line.substr(kStart.size(), blank - kStart.size()), &code, &given_state, &error, &description)
        || state.empty() || given_state != state)
        return RedirectOutcome::Other;
    if (!error.empty()) {
        redirect->error = Printable(error) + (description.empty() ? "" : ": " + Printable(description));
        return RedirectOutcome::Error;
    }
    if (code.empty())
        return RedirectOutcome::Other;
    redirect->code = std::move(code);
    return RedirectOutcome::Code;
}

std::string RedirectAnswer(RedirectOutcome outcome, std::string_view why)
{
    std::string status = "200 OK";
    // UTF-8 written as bytes: the Windows build turns literal text into code page 932.
    // 「サインインしました。このウィンドウは閉じてかまいません。」「サインインできませんでした: 」
    // 「このサインインへの応答ではありません。」
    std::string japanese = "\xE3\x82\xB5\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xA4\xE3\x83\xB3\xE3\x81\x97\xE3\x81\xBE\xE3"
                           "\x81\x97\xE3\x81\x9F\xE3\x80\x82\xE3\x81\x93\xE3\x81\xAE\xE3\x82\xA6\xE3\x82\xA3\xE3\x83"
                           "\xB3\xE3\x83\x89\xE3\x82\xA6\xE3\x81\xAF\xE9\x96\x89\xE3\x81\x98\xE3\x81\xA6\xE3\x81\x8B"
                           "\xE3\x81\xBE\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82";
    std::string english = "Signed in. You may close this window.";
    if (outcome == RedirectOutcome::Error) {
        japanese = "\xE3\x82\xB5\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xA4\xE3\x83\xB3\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xBE"
                   "\xE3\x81\x9B\xE3\x82\x93\xE3\x81\xA7\xE3\x81\x97\xE3\x81\x9F: "
            + Printable(why);
        english = "Sign-in failed: " + Printable(why);
    } else if (outcome != RedirectOutcome::Code) {
        status = "400 Bad Request";
        japanese = "\xE3\x81\x93\xE3\x81\xAE\xE3\x82\xB5\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xA4\xE3\x83\xB3\xE3\x81\xB8"
                   "\xE3\x81\xAE\xE5\xBF\x9C\xE7\xAD\x94\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE"
                   "\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82";
        english = "This is not the answer this sign-in waits for.";
    }
    const std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>larkbell</title></head>"
                             "<body><p lang=\"ja\">"
        + japanese + "</p><p lang=\"en\">" + english + "</p></body></html>\n";
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
        + std::to_string(page.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page;
}

} // namespace mail
