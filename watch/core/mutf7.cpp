#include "watch/core/mutf7.h"

#include <stdint.h>

#include <vector>

#include "watch/core/base64.h"
#include "watch/core/utf8_text.h"

namespace mail {

namespace {

    bool IsDirect(uint32_t c) { return c >= 0x20 && c <= 0x7e; }

    void AppendEncoded(const std::vector<uint16_t>& units, std::string* out)
    {
        *out += '&';
        uint32_t bits = 0;
        int count = 0;
        for (uint16_t unit : units) {
            bits = (bits << 16) | unit;
            count += 16;
            while (count >= 6) {
                count -= 6;
                *out += Base64Char(bits >> count, ',');
            }
        }
        if (count > 0)
            *out += Base64Char(bits << (6 - count), ',');
        *out += '-';
    }

    // Decodes the base64 between "&" and "-" into UTF-8.
    bool DecodeRun(std::string_view run, std::string* out)
    {
        uint32_t bits = 0;
        int count = 0;
        uint32_t high = 0; // a pending high surrogate
        for (char c : run) {
            int sextet = Base64Value(c, ',');
            if (sextet < 0)
                return false;
            bits = ((bits << 6) | static_cast<uint32_t>(sextet)) & 0xffffff;
            count += 6;
            if (count < 16)
                continue;
            count -= 16;
            uint32_t unit = (bits >> count) & 0xffff;
            if (unit >= 0xd800 && unit <= 0xdbff) {
                if (high != 0)
                    return false;
                high = unit;
                continue;
            }
            if (unit >= 0xdc00 && unit <= 0xdfff) {
                if (high == 0)
                    return false;
                AppendUtf8(0x10000 + ((high - 0xd800) << 10) + (unit - 0xdc00), out);
                high = 0;
                continue;
            }
            if (high != 0 || IsDirect(unit))
                return false; // printable ASCII must be written as itself
            AppendUtf8(unit, out);
        }
        // Leftover bits must be padding zeros, fewer than one sextet.
        return high == 0 && count < 6 && (bits & ((1u << count) - 1)) == 0;
    }

} // namespace

bool Utf8ToMutf7(std::string_view utf8, std::string* out)
{
    out->clear();
    std::vector<uint16_t> units;
    size_t at = 0;
    while (at < utf8.size()) {
        uint32_t code = 0;
        if (!NextCodePoint(utf8, &at, &code))
            return false;
        if (IsDirect(code)) {
            if (!units.empty()) {
                AppendEncoded(units, out);
                units.clear();
            }
            *out += code == '&' ? std::string("&-") : std::string(1, static_cast<char>(code));
        } else if (code >= 0x10000) {
            units.push_back(static_cast<uint16_t>(0xd800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<uint16_t>(0xdc00 + ((code - 0x10000) & 0x3ff)));
        } else {
            units.push_back(static_cast<uint16_t>(code));
        }
    }
    if (!units.empty())
        AppendEncoded(units, out);
    return true;
}

bool Mutf7ToUtf8(std::string_view mutf7, std::string* out)
{
    out->clear();
    size_t at = 0;
    size_t run_end = std::string_view::npos; // just after the last encoded run
    while (at < mutf7.size()) {
        char c = mutf7[at];
        if (!IsDirect(static_cast<unsigned char>(c)))
            return false;
        if (c != '&') {
            *out += c;
            ++at;
            continue;
        }
        size_t end = mutf7.find('-', at + 1);
        if (end == std::string_view::npos)
            return false;
        if (end == at + 1) {
            *out += '&';
        } else if (at == run_end || !DecodeRun(mutf7.substr(at + 1, end - at - 1), out)) {
            return false; // two runs back to back would have been written as one
        } else {
            run_end = end + 1;
        }
        at = end + 1;
    }
    return true;
}

} // namespace mail
