#include <gtest/gtest.h>

#include "count_math.h"

TEST(ParseIncrement, FollowsAtoiWithinRange)
{
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        { "3", 3 },
        { "-2", -2 },
        { "+7", 7 },
        { "12abc", 12 },
        { "abc", 0 },
        { "", 0 },
        { "  \t\n42", 42 },
        { "5 7", 5 },
        { "--5", 0 },
        { "+-5", 0 },
        { "- 5", 0 },
        { "0x10", 0 },
        { "007", 7 },
        { "-0", 0 },
        { "2147483647", INT32_MAX },
        { "-2147483648", INT32_MIN },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseIncrement(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseIncrement, ClampsOutOfRangeLikeStrtol)
{
    EXPECT_EQ(ParseIncrement("2147483648"), INT32_MAX);
    EXPECT_EQ(ParseIncrement("-2147483649"), INT32_MIN);
    EXPECT_EQ(ParseIncrement("99999999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(ParseIncrement("-99999999999999999999999999999x"), INT32_MIN);
    EXPECT_EQ(ParseIncrement(nullptr), 0);
}

TEST(WrapAdd, WrapsInTwosComplement)
{
    EXPECT_EQ(WrapAdd(2, 3), 5);
    EXPECT_EQ(WrapAdd(0, -4), -4);
    EXPECT_EQ(WrapAdd(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(WrapAdd(INT32_MIN, -1), INT32_MAX);
    EXPECT_EQ(WrapAdd(INT32_MAX, INT32_MAX), -2);
}

TEST(ParseStrictInt32, AcceptsOnlyWholeNumbers)
{
    int32_t value = 123;
    EXPECT_TRUE(ParseStrictInt32("-3", &value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(ParseStrictInt32("+2147483647", &value));
    EXPECT_EQ(value, INT32_MAX);
    EXPECT_TRUE(ParseStrictInt32("-2147483648", &value));
    EXPECT_EQ(value, INT32_MIN);
    for (const char* bad : { "", "-", "+", "12abc", " 1", "1 ", "2147483648", "-2147483649", "0x1", "1e3" }) {
        value = 77;
        EXPECT_FALSE(ParseStrictInt32(bad, &value)) << '"' << bad << '"';
        EXPECT_EQ(value, 77) << "a refused number must leave the value alone";
    }
}
