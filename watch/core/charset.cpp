#include "watch/core/charset.h"

#include <initializer_list>

#include "watch/core/ascii_text.h"
#include "watch/core/utf8_text.h"

namespace mail {

namespace {

    bool StartsWith(std::string_view text, std::string_view prefix)
    {
        return EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
    }

    bool IsOneOf(std::string_view name, std::initializer_list<const char*> names)
    {
        for (const char* known : names)
            if (EqualsIgnoringCase(name, known))
                return true;
        return false;
    }

    // A number of 1 to 5 digits making up all of `text`, else 0.
    unsigned SmallNumber(std::string_view text)
    {
        uint64_t value = 0;
        return ParseDecimal(text, 99999, &value, 5) ? static_cast<unsigned>(value) : 0;
    }

    // The Windows code page for a charset name, 0 when there is none.
    unsigned CodePageOf(std::string_view name)
    {
        static const struct {
            const char* name;
            unsigned code_page;
        } kNames[] = { { "utf-8", kCodePageUtf8 }, { "utf8", kCodePageUtf8 }, { "us-ascii", 20127 }, { "ascii", 20127 },
            { "shift_jis", 932 }, { "shift-jis", 932 }, { "sjis", 932 }, { "x-sjis", 932 }, { "windows-31j", 932 },
            { "cp932", 932 }, { "ms932", 932 }, { "gbk", 936 }, { "gb2312", 936 }, { "cp936", 936 }, { "x-gbk", 936 },
            { "gb18030", 54936 }, { "big5", 950 }, { "big5-hkscs", 950 }, { "cp950", 950 }, { "euc-kr", 949 },
            { "ks_c_5601-1987", 949 }, { "cp949", 949 }, { "koi8-r", 20866 }, { "koi8-u", 21866 },
            { "iso-8859-8-i", 28598 }, { "tis-620", 874 }, { "windows-874", 874 } };
        for (const auto& entry : kNames)
            if (EqualsIgnoringCase(name, entry.name))
                return entry.code_page;
        if (StartsWith(name, "windows-")) {
            const unsigned number = SmallNumber(name.substr(8));
            return number >= 1250 && number <= 1258 ? number : 0;
        }
        if (StartsWith(name, "cp125")) {
            const unsigned number = SmallNumber(name.substr(2));
            return number >= 1250 && number <= 1258 ? number : 0;
        }
        if (StartsWith(name, "iso-8859-") || StartsWith(name, "iso8859-")) {
            // Windows has 28591 to 28599, 28603 and 28605 for these parts of ISO 8859.
            const unsigned part = SmallNumber(name.substr(name.rfind('-') + 1));
            return (part >= 1 && part <= 9) || part == 13 || part == 15 ? 28590 + part : 0;
        }
        return 0;
    }

    // ISO-2022-JP (RFC 1468) with half-width katakana as Shift_JIS; false for
    // any other designation (JIS X 0212, ISO-2022-JP-2's charsets) or bytes
    // outside the 7-bit range.
    bool Iso2022JpToShiftJis(std::string_view bytes, std::string* sjis)
    {
        enum class Set { Ascii, Jis0208, Katakana } set = Set::Ascii;
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c == 0x1b) {
                const std::string_view escape = bytes.substr(i + 1, 2);
                if (escape == "(B" || escape == "(J")
                    set = Set::Ascii;
                else if (escape == "$B" || escape == "$@")
                    set = Set::Jis0208;
                else if (escape == "(I")
                    set = Set::Katakana;
                else
                    return false;
                i += 2;
            } else if (c >= 0x80) {
                return false;
            } else if (c == 0x0e || c == 0x0f) {
                set = c == 0x0e ? Set::Katakana : Set::Ascii; // SO/SI, as some old mailers send
            } else if (set == Set::Ascii || c < 0x21 || c > 0x7e) {
                *sjis += static_cast<char>(c);
            } else if (set == Set::Katakana) {
                if (c > 0x5f)
                    return false;
                *sjis += static_cast<char>(c + 0x80);
            } else {
                if (i + 1 >= bytes.size())
                    return false;
                const unsigned char c2 = static_cast<unsigned char>(bytes[++i]);
                if (c2 < 0x21 || c2 > 0x7e)
                    return false;
                JisToShiftJis(c, c2, sjis);
            }
        }
        return true;
    }

    // EUC-JP's JIS X 0201 and 0208 planes as Shift_JIS; JIS X 0212 (0x8F) has
    // no place in code page 932.
    bool EucJpToShiftJis(std::string_view bytes, std::string* sjis)
    {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c < 0x80) {
                *sjis += static_cast<char>(c);
                continue;
            }
            if (i + 1 >= bytes.size())
                return false;
            const unsigned char c2 = static_cast<unsigned char>(bytes[++i]);
            if (c == 0x8e && c2 >= 0xa1 && c2 <= 0xdf)
                *sjis += static_cast<char>(c2);
            else if (c >= 0xa1 && c <= 0xfe && c2 >= 0xa1 && c2 <= 0xfe)
                JisToShiftJis(c - 0x80, c2 - 0x80, sjis);
            else
                return false;
        }
        return true;
    }

} // namespace

void JisToShiftJis(unsigned char j1, unsigned char j2, std::string* out)
{
    unsigned s1 = ((j1 - 0x21u) >> 1) + 0x81u;
    if (s1 > 0x9f)
        s1 += 0x40;
    const unsigned s2 = (j1 & 1) ? j2 + (j2 >= 0x60 ? 0x20u : 0x1fu) : j2 + 0x7eu;
    *out += static_cast<char>(s1);
    *out += static_cast<char>(s2);
}

bool CharsetToUtf8(
    std::string_view charset, std::string_view bytes, const CharsetConverter& converter, std::string* utf8)
{
    const std::string_view name = charset.substr(0, charset.find('*')); // RFC 2231 language suffix
    std::string sjis;
    if (IsOneOf(name, { "iso-2022-jp", "csiso2022jp" })) {
        if (!Iso2022JpToShiftJis(bytes, &sjis))
            return false;
        return converter.ToUtf8(kCodePageCp932, sjis, utf8);
    }
    if (IsOneOf(name, { "euc-jp", "x-euc-jp", "eucjp" })) {
        if (!EucJpToShiftJis(bytes, &sjis))
            return false;
        return converter.ToUtf8(kCodePageCp932, sjis, utf8);
    }
    const unsigned code_page = CodePageOf(name);
    if (code_page == kCodePageUtf8 || code_page == 20127) {
        if (!IsValidUtf8(bytes) || (code_page == 20127 && !IsAscii(bytes)))
            return false;
        utf8->assign(bytes);
        return true;
    }
    return code_page != 0 && converter.ToUtf8(code_page, bytes, utf8);
}

} // namespace mail
