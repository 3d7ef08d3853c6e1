#include "watch/core/base64.h"

#include <stdint.h>

#include <utility>

namespace mail {

int Base64Value(char c, char last)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == last ? 63 : -1;
}

char Base64Char(unsigned sextet, char last)
{
    sextet &= 63;
    return sextet == 63 ? last : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"[sextet];
}

std::string Base64Encode(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8
            | static_cast<uint8_t>(bytes[i + 2]);
        text += Base64Char(group >> 18);
        text += Base64Char(group >> 12);
        text += Base64Char(group >> 6);
        text += Base64Char(group);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        text += Base64Char(group >> 18);
        text += Base64Char(group >> 12);
        text += rest == 2 ? Base64Char(group >> 6) : '=';
        text += '=';
    }
    return text;
}

bool Base64Decode(std::string_view text, std::string* out)
{
    out->clear();
    if (text.size() % 4 != 0)
        return false;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t digits = last ? 4 - padding : 4;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int sextet = k < digits ? Base64Value(text[i + k]) : 0;
            if (sextet < 0)
                return false;
            group = group << 6 | static_cast<uint32_t>(sextet);
        }
        bytes += static_cast<char>(group >> 16 & 0xFF);
        if (digits >= 3)
            bytes += static_cast<char>(group >> 8 & 0xFF);
        if (digits == 4)
            bytes += static_cast<char>(group & 0xFF);
        // Bits the padding leaves over must be zero, or two texts would decode alike.
        const uint32_t unused = digits == 2 ? group & 0xFFFF : digits == 3 ? group & 0xFF : 0;
        if (unused != 0)
            return false;
    }
    *out = std::move(bytes);
    return true;
}

} // namespace mail
