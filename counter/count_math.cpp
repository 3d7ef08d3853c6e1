#include "counter/count_math.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Accumulates digits as a magnitude; anything past 2^32 stays at 2^32, which
// is out of range for either sign.
const char* ReadMagnitude(const char* p, uint64_t* magnitude)
{
    constexpr uint64_t limit = 0x100000000u;
    uint64_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > limit)
            value = limit;
    }
    *magnitude = value;
    return p;
}

int32_t ApplySign(bool negative, uint64_t magnitude)
{
    if (negative)
        return magnitude >= 0x80000000u ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude > 0x7FFFFFFFu ? INT32_MAX : static_cast<int32_t>(magnitude);
}

} // namespace

int32_t ParseIncrement(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    uint64_t magnitude = 0;
    ReadMagnitude(p, &magnitude);
    return ApplySign(negative, magnitude);
}

int32_t WrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

bool ParseStrictInt32(const char* text, int32_t* value)
{
    if (!text)
        return false;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (!IsDigit(*p))
        return false;
    uint64_t magnitude = 0;
    const char* end = ReadMagnitude(p, &magnitude);
    if (*end != '\0' || magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu))
        return false;
    *value = ApplySign(negative, magnitude);
    return true;
}
