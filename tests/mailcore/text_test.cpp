#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "watch/core/ascii_text.h"
#include "watch/core/base64.h"

namespace {

using namespace mail;

// RFC 4648's vectors and bytes with the high bit set (DPAPI blobs are
// binary); then what must be refused: bad or missing padding, white space,
// the URL-safe alphabet, and unused bits set (two texts would decode alike).
TEST(Base64, EncodesTheVectorsAndDecodesOnlyCanonicalText)
{
    // The decoded bytes; none: refused.
    const std::pair<const char*, std::optional<std::string>> cases[] = { { "", "" }, { "Zg==", "f" }, { "Zm8=", "fo" },
        { "Zm9v", "foo" }, { "Zm9vYg==", "foob" }, { "Zm9vYmE=", "fooba" }, { "Zm9vYmFy", "foobar" },
        { "AAAA", std::string(3, '\0') }, { "++++/w==", "\xFB\xEF\xBE\xFF" },
        { "AQDQjJ3fAP8=", std::string("\x01\x00\xD0\x8C\x9D\xDF\x00\xFF", 8) }, { "Zg", {} }, { "Zg=", {} },
        { "Zg===", {} }, { "Z===", {} }, { "Zg==Zg==", {} }, { "=Zm9", {} }, { "Zm9v\n", {} }, { "Zm 9v", {} },
        { "Zm9-", {} }, { "Zm9_", {} }, { "Zh==", {} }, { "Zm9=", {} }, { "Zm9v\xC3\xA9==", {} } };
    for (const auto& [text, bytes] : cases) {
        std::string decoded = "stale";
        EXPECT_EQ(Base64Decode(text, &decoded), bytes.has_value()) << text;
        EXPECT_EQ(decoded, bytes.value_or("")) << text;
        if (bytes) {
            EXPECT_EQ(Base64Encode(*bytes), text);
        }
    }
}

// Limits: the largest value and digit count taken, and one more. ASCII only:
// the letters next to the ranges and bytes above 0x7F are left as they are.
TEST(AsciiText, ParsesNumbersWithinTheirLimitsAndFoldsOnlyAscii)
{
    // Each helper's answer as text; "no" where it refuses.
    const auto decimal = [](std::string_view text, uint64_t max, size_t digits = kMaxDecimalDigits) {
        uint64_t value = 0;
        return ParseDecimal(text, max, &value, digits) ? std::to_string(value) : "no";
    };
    const auto uint32 = [](std::string_view text) {
        uint32_t value = 0;
        return ParseUint32(text, &value) ? std::to_string(value) : "no";
    };
    const auto hex = [](std::string_view digits, bool lower_too) {
        std::string values;
        for (char c : digits)
            values += std::to_string(HexValue(c, lower_too)) + " ";
        return values;
    };
    std::string all_digits;
    for (unsigned value = 0; value <= 16; ++value)
        all_digits += HexDigit(value);
    const std::pair<std::string, const char*> cases[] = { { decimal("255", 255), "255" },
        { decimal("18446744073709551615", UINT64_MAX), "18446744073709551615" },
        { decimal("18446744073709551616", UINT64_MAX), "no" }, { decimal("256", 255), "no" }, { decimal("9", 8), "no" },
        { decimal("00000000000000000009", 9), "9" }, { decimal("000000000000000000009", 9), "no" },
        { decimal("999999999999", UINT64_MAX, 12), "999999999999" }, { decimal("0000000000001", UINT64_MAX, 12), "no" },
        { decimal("", 9), "no" }, { decimal("-1", 9), "no" }, { decimal(" 1", 9), "no" }, { decimal("1x", 99), "no" },
        { uint32("4294967295"), "4294967295" }, { uint32("4294967296"), "no" }, { uint32("0000000007"), "7" },
        { uint32("00000000007"), "no" }, { std::to_string(LeadingDigits("0123 4")), "4" },
        { std::to_string(LeadingDigits("x1")), "0" },
        { hex("09AFafG@`g/:", true), "0 9 10 15 10 15 -1 -1 -1 -1 -1 -1 " },
        { hex("09AFaf", false), "0 9 10 15 -1 -1 " }, { all_digits, "0123456789ABCDEF0" },
        { UpperAscii("az`{AZ\xE4\xC3\xA4"), "AZ`{AZ\xE4\xC3\xA4" },
        { EqualsIgnoringCase("Idle", "iDLE") ? "yes" : "no", "yes" },
        { EqualsIgnoringCase("[", "{") ? "yes" : "no", "no" },
        { EqualsIgnoringCase("\xE4", "\xC4") ? "yes" : "no", "no" },
        { EqualsIgnoringCase("a", "a ") ? "yes" : "no", "no" }, { std::string(TrimBlanks(" \t a b\t ")), "a b" },
        { std::string(TrimBlanks("\ra\n")), "\ra\n" } };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
}

} // namespace
