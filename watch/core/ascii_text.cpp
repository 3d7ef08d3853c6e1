#include "watch/core/ascii_text.h"

namespace mail {

bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value, size_t max_digits)
{
    if (text.empty() || text.size() > max_digits)
        return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || result > (max - digit) / 10) // checked before it can wrap
            return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

bool ParseUint32(std::string_view text, uint32_t* value)
{
    uint64_t number = 0;
    if (!ParseDecimal(text, UINT32_MAX, &number, 10))
        return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

size_t LeadingDigits(std::string_view text)
{
    size_t count = 0;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9')
        ++count;
    return count;
}

int HexValue(char c, bool lower_too)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (lower_too && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15]; }

std::string PercentEncode(std::string_view text, std::string_view also_plain)
{
    std::string out;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || also_plain.find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += HexDigit(u >> 4);
            out += HexDigit(u & 15);
        }
    }
    return out;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = UpperAscii(c);
    return result;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator, size_t max_parts)
{
    std::vector<std::string_view> parts;
    while (parts.size() < max_parts) {
        const size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
    parts.push_back(text);
    return parts;
}

} // namespace mail
