#include <gtest/gtest.h>

#include "counter/count_math.h"

TEST(CountMath, IncrementIsReadLikeAtoiClampedLikeStrtol)
{
    const std::pair<const char*, int32_t> cases[] = { { "3", 3 }, { "-2", -2 }, { "+7", 7 }, { "12abc", 12 },
        { "abc", 0 }, { "", 0 }, { "  \t\n42", 42 }, { "5 7", 5 }, { "--5", 0 }, { "+-5", 0 }, { "- 5", 0 },
        { "0x10", 0 }, { "007", 7 }, { "-0", 0 }, { "2147483647", INT32_MAX }, { "-2147483648", INT32_MIN },
        { "2147483648", INT32_MAX }, { "-2147483649", INT32_MIN }, { "99999999999999999999999999999", INT32_MAX },
        { "-99999999999999999999999999999x", INT32_MIN }, { nullptr, 0 } };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseIncrement(text), value) << '"' << (text ? text : "(null)") << '"';
}

TEST(CountMath, SumsWrapInTwosComplement)
{
    const int32_t cases[][3] = { { 2, 3, 5 }, { 0, -4, -4 }, { INT32_MAX, 1, INT32_MIN }, { INT32_MIN, -1, INT32_MAX },
        { INT32_MAX, INT32_MAX, -2 } };
    for (const auto& c : cases)
        EXPECT_EQ(WrapAdd(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

TEST(CountMath, StrictNumbersAreWholeSignedDecimalsOnly)
{
    const std::tuple<const char*, bool, int32_t> cases[] = { { "-3", true, -3 }, { "+2147483647", true, INT32_MAX },
        { "-2147483648", true, INT32_MIN }, { "", false, 77 }, { "-", false, 77 }, { "+", false, 77 },
        { "12abc", false, 77 }, { " 1", false, 77 }, { "1 ", false, 77 }, { "2147483648", false, 77 },
        { "-2147483649", false, 77 }, { "0x1", false, 77 }, { "1e3", false, 77 } };
    for (const auto& [text, accepted, expected] : cases) { // 77, the value before, when refused
        int32_t value = 77;
        EXPECT_EQ(ParseStrictInt32(text, &value), accepted) << '"' << text << '"';
        EXPECT_EQ(value, expected) << '"' << text << '"';
    }
}
