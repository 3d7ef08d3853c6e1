#include "watch/core/imap_fetch.h"

#include <algorithm>

#include "watch/core/ascii_text.h"
#include "watch/core/header_text.h"

namespace mail {

namespace {

    bool Skip(std::string_view& rest, std::string_view expected)
    {
        if (rest.substr(0, expected.size()) != expected)
            return false;
        rest.remove_prefix(expected.size());
        return true;
    }

    bool Number(std::string_view& rest, uint32_t* value)
    {
        const size_t digits = LeadingDigits(rest);
        if (!ParseUint32(rest.substr(0, digits), value))
            return false;
        rest.remove_prefix(digits);
        return true;
    }

    // "{n}" or "{n+}" or "~{n}", CRLF, then n bytes.
    bool Literal(std::string_view& rest, std::string_view* bytes)
    {
        uint32_t size = 0;
        Skip(rest, "~");
        if (!Skip(rest, "{") || !Number(rest, &size))
            return false;
        Skip(rest, "+");
        if (!Skip(rest, "}\r\n") || rest.size() < size)
            return false;
        *bytes = rest.substr(0, size);
        rest.remove_prefix(size);
        return true;
    }

    bool Quoted(std::string_view& rest, std::string* text)
    {
        if (!Skip(rest, "\""))
            return false;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '"') {
                rest.remove_prefix(i + 1);
                return true;
            }
            if (rest[i] == '\\' && i + 1 < rest.size())
                ++i;
            *text += rest[i];
        }
        return false;
    }

    // Any one value, passed over: an atom, a number, a quoted string, a
    // literal, or a parenthesised list of them.
    bool SkipValue(std::string_view& rest, int depth = 0)
    {
        if (rest.empty() || depth > 8)
            return false;
        std::string_view bytes;
        std::string text;
        if (rest[0] == '"')
            return Quoted(rest, &text);
        if (rest[0] == '{' || rest[0] == '~')
            return Literal(rest, &bytes);
        if (rest[0] == '(') {
            rest.remove_prefix(1);
            while (!Skip(rest, ")")) {
                Skip(rest, " ");
                if (!rest.empty() && rest[0] == ')')
                    continue;
                if (!SkipValue(rest, depth + 1))
                    return false;
            }
            return true;
        }
        size_t end = 0;
        while (end < rest.size() && rest[end] != ' ' && rest[end] != ')' && rest[end] != '(') {
            if (rest[end] == '[') {
                const size_t close = rest.find(']', end);
                if (close == std::string_view::npos)
                    return false;
                end = close;
            }
            ++end;
        }
        rest.remove_prefix(end);
        return end > 0;
    }

    // The item's name: an atom, with a "[...]" section and "<n>" origin kept in.
    std::string_view ItemName(std::string_view& rest)
    {
        size_t end = 0;
        while (end < rest.size() && rest[end] != ' ' && rest[end] != ')') {
            if (rest[end] == '[') {
                const size_t close = rest.find(']', end);
                end = close == std::string_view::npos ? rest.size() : close;
            }
            ++end;
        }
        const std::string_view name = rest.substr(0, end);
        rest.remove_prefix(end);
        return name;
    }

    bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
    {
        return EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
    }

} // namespace

std::string HeaderFetchCommand(std::vector<uint32_t> uids)
{
    std::sort(uids.begin(), uids.end(), [](uint32_t a, uint32_t b) { return a > b; });
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    if (uids.size() > kHeaderFetchBatch)
        uids.resize(kHeaderFetchBatch);
    std::string set;
    for (uint32_t uid : uids)
        set += (set.empty() ? "" : ",") + std::to_string(uid);
    return "UID FETCH " + set + " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])";
}

bool ParseFetchHeader(std::string_view response, uint32_t* uid, std::string* header)
{
    uint32_t number = 0;
    if (!Skip(response, "* ") || !Number(response, &number) || !Skip(response, " ")
        || !StartsWithIgnoringCase(response, "FETCH (")) {
        return false;
    }
    response.remove_prefix(7);
    bool has_uid = false, has_header = false;
    while (!Skip(response, ")")) {
        Skip(response, " ");
        const std::string_view name = ItemName(response);
        if (name.empty() || !Skip(response, " "))
            return false;
        if (StartsWithIgnoringCase(name, "UID") && name.size() == 3) {
            has_uid = Number(response, uid);
            if (!has_uid)
                return false;
        } else if (StartsWithIgnoringCase(name, "BODY[HEADER.FIELDS")) {
            std::string_view bytes;
            std::string text;
            if (!response.empty() && response[0] == '"') {
                if (!Quoted(response, &text))
                    return false;
                bytes = text;
            } else if (Skip(response, "NIL")) {
                bytes = {};
            } else if (!Literal(response, &bytes)) {
                return false;
            }
            header->assign(bytes.substr(0, kHeaderLimit));
            has_header = true;
        } else if (!SkipValue(response)) {
            return false;
        }
    }
    return has_uid && has_header;
}

} // namespace mail
