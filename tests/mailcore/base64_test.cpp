#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base64.h"

// RFC 4648's vectors and bytes with the high bit set (DPAPI blobs are
// binary); then what must be refused: bad or missing padding, white space,
// the URL-safe alphabet, and unused bits set (two texts would decode alike).
TEST(Base64, EncodesTheVectorsAndDecodesOnlyCanonicalText)
{
    const struct {
        const char* text;
        std::optional<std::string> bytes; // none: refused
    } cases[] = { { "", "" }, { "Zg==", "f" }, { "Zm8=", "fo" }, { "Zm9v", "foo" }, { "Zm9vYg==", "foob" },
        { "Zm9vYmE=", "fooba" }, { "Zm9vYmFy", "foobar" }, { "AAAA", std::string(3, '\0') },
        { "++++/w==", "\xFB\xEF\xBE\xFF" }, { "AQDQjJ3fAP8=", std::string("\x01\x00\xD0\x8C\x9D\xDF\x00\xFF", 8) },
        { "Zg", {} }, { "Zg=", {} }, { "Zg===", {} }, { "Z===", {} }, { "Zg==Zg==", {} }, { "=Zm9", {} },
        { "Zm9v\n", {} }, { "Zm 9v", {} }, { "Zm9-", {} }, { "Zm9_", {} }, { "Zh==", {} }, { "Zm9=", {} },
        { "Zm9v\xC3\xA9==", {} } };
    for (const auto& c : cases) {
        std::string decoded = "stale";
        EXPECT_EQ(mail::Base64Decode(c.text, &decoded), c.bytes.has_value()) << c.text;
        EXPECT_EQ(decoded, c.bytes.value_or("")) << c.text;
        if (c.bytes) {
            EXPECT_EQ(mail::Base64Encode(*c.bytes), c.text);
        }
    }
}
