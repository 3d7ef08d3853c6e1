// The platform's code pages as far as the header tests need them: code page
// 932 character by character from a small table (ASCII, half-width katakana,
// the double-byte characters the tests use), ISO 8859-1, and whole strings
// for the Chinese and Korean code pages; "#" in any other becomes its number,
// to show which code page a name chose. Anything else is refused, as
// MultiByteToWideChar refuses invalid bytes.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "watch/core/charset.h"
#include "watch/core/utf8_text.h"

class TableConverter : public mail::CharsetConverter {
public:
    bool ToUtf8(unsigned code_page, std::string_view bytes, std::string* utf8) const override
    {
        std::string out;
        if (code_page == 28591) {
            for (unsigned char c : bytes)
                mail::AppendUtf8(c, &out);
        } else if (code_page == 932) {
            if (!Cp932(bytes, &out))
                return false;
        } else {
            const auto found = kWhole.find({ code_page, std::string(bytes) });
            if (found == kWhole.end() && bytes != "#")
                return false;
            out = found == kWhole.end() ? std::to_string(code_page) : found->second; // "#" names the code page
        }
        *utf8 = out;
        return true;
    }

private:
    static bool Cp932(std::string_view bytes, std::string* out)
    {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c < 0x80) {
                *out += static_cast<char>(c);
            } else if (c >= 0xa1 && c <= 0xdf) {
                mail::AppendUtf8(0xff61 + (c - 0xa1), out);
            } else {
                const auto found = kDoubleByte.find(std::string(bytes.substr(i, 2)));
                if (found == kDoubleByte.end())
                    return false;
                *out += found->second;
                ++i;
            }
        }
        return true;
    }

    inline static const std::map<std::string, std::string> kDoubleByte = { { "\x89\xEF", "会" }, { "\x8B\x63", "議" },
        { "\x82\xCC", "の" }, { "\x8C\x8F", "件" }, { "\x82\xC9", "に" }, { "\x82\xC2", "つ" }, { "\x82\xA2", "い" },
        { "\x82\xC4", "て" }, { "\x8E\x52", "山" }, { "\x93\x63", "田" }, { "\x91\xBE", "太" }, { "\x98\x59", "郎" },
        { "\x96\xBC", "名" }, { "\x83\x65", "テ" }, { "\x83\x58", "ス" }, { "\x83\x67", "ト" }, { "\x93\xFA", "日" },
        { "\x96\x7B", "本" }, { "\x8C\xEA", "語" }, { "\x87\x40", "①" } };
    inline static const std::map<std::pair<unsigned, std::string>, std::string> kWhole
        = { { { 936, "\xD6\xD0\xCE\xC4" }, "中文" }, { { 950, "\xA4\xA4\xA4\xE5" }, "中文" },
              { { 949, "\xC7\xD1\xB1\xB9\xBE\xEE" }, "한국어" } };
};
