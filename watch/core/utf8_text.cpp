#include "watch/core/utf8_text.h"

namespace mail {

namespace {

    // Characters that change how their neighbours are drawn or hide: the
    // bidirectional embeddings, overrides, isolates and marks, and the
    // byte-order mark. A subject must not turn "exe.txt" round.
    bool IsInvisibleControl(uint32_t code)
    {
        return code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0x061c || code == 0x200e || code == 0x200f
            || (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069) || code == 0xfeff
            || (code >= 0xfff9 && code <= 0xfffb);
    }

    bool IsBlank(uint32_t code) { return code == ' ' || code == '\t'; }

} // namespace

bool NextCodePoint(std::string_view text, size_t* at, uint32_t* code)
{
    const unsigned char lead = static_cast<unsigned char>(text[*at]);
    const int extra = lead < 0x80 ? 0
        : (lead & 0xe0) == 0xc0   ? 1
        : (lead & 0xf0) == 0xe0   ? 2
        : (lead & 0xf8) == 0xf0   ? 3
                                  : -1;
    if (extra < 0 || static_cast<size_t>(extra) >= text.size() - *at)
        return false;
    uint32_t value = extra == 0 ? lead : lead & (0x3f >> extra);
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[*at + i]);
        if ((next & 0xc0) != 0x80)
            return false;
        value = (value << 6) | (next & 0x3f);
    }
    static const uint32_t kSmallest[] = { 0, 0x80, 0x800, 0x10000 };
    if (value < kSmallest[extra] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return false;
    *at += static_cast<size_t>(extra) + 1;
    *code = value;
    return true;
}

void AppendUtf8(uint32_t code, std::string* out)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xc0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xe0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        *out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        *out += static_cast<char>(0xf0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        *out += static_cast<char>(0x80 | (code & 0x3f));
    }
}

bool IsValidUtf8(std::string_view text)
{
    size_t at = 0;
    uint32_t code = 0;
    while (at < text.size())
        if (!NextCodePoint(text, &at, &code))
            return false;
    return true;
}

bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string DisplayText(std::string_view utf8, size_t max_bytes)
{
    std::string out;
    bool blank_pending = false;
    size_t at = 0;
    while (at < utf8.size()) {
        uint32_t code = 0;
        if (!NextCodePoint(utf8, &at, &code)) {
            code = 0xfffd;
            ++at;
        }
        if (IsBlank(code) || code == '\r' || code == '\n') {
            blank_pending = !out.empty();
            continue;
        }
        if (IsInvisibleControl(code))
            continue;
        std::string piece = blank_pending ? " " : "";
        AppendUtf8(code, &piece);
        if (out.size() + piece.size() > max_bytes)
            break;
        out += piece;
        blank_pending = false;
    }
    return out;
}

} // namespace mail
