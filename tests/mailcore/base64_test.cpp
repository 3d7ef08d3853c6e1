#include <gtest/gtest.h>

#include <string>

#include "base64.h"

namespace {

struct Pair {
    std::string bytes;
    const char* text;
};

// RFC 4648's vectors, plus bytes with the high bit set (DPAPI blobs are binary).
const Pair kPairs[] = {
    { "", "" },
    { "f", "Zg==" },
    { "fo", "Zm8=" },
    { "foo", "Zm9v" },
    { "foob", "Zm9vYg==" },
    { "fooba", "Zm9vYmE=" },
    { "foobar", "Zm9vYmFy" },
    { std::string("\x00\x00\x00", 3), "AAAA" },
    { "\xFF\xFF\xFF", "////" },
    { "\xFB\xEF\xBE", "++++" },
    { std::string("\x01\x00\xD0\x8C\x9D\xDF", 6), "AQDQjJ3f" },
};

} // namespace

TEST(Base64, EncodesAndDecodesTheVectors)
{
    for (const Pair& pair : kPairs) {
        EXPECT_EQ(mail::Base64Encode(pair.bytes), pair.text);
        std::string decoded = "stale";
        EXPECT_TRUE(mail::Base64Decode(pair.text, &decoded)) << pair.text;
        EXPECT_EQ(decoded, pair.bytes) << pair.text;
    }
}

TEST(Base64, RoundTripsEveryLengthAndByte)
{
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        std::string decoded;
        ASSERT_TRUE(mail::Base64Decode(mail::Base64Encode(bytes), &decoded));
        ASSERT_EQ(decoded, bytes);
        bytes += static_cast<char>(i * 7 + 3);
    }
}

TEST(Base64, RejectsAnythingButCanonicalText)
{
    const char* const garbage[] = {
        "Zg", // missing padding
        "Zg=", // short padding
        "Zg===", // too much padding
        "Z===", // padding where data must be
        "Zg==Zg==", // padding in the middle
        "=Zm9", // padding first
        "Zm9v\n", // white space
        "Zm 9v",
        "Zm9-", // URL-safe alphabet
        "Zm9_",
        "Zh==", // unused bits set: would decode like "Zg=="
        "Zm9=", // unused bits set: would decode like "Zm8="
        "Zm9v\xC3\xA9==",
    };
    for (const char* text : garbage) {
        std::string decoded = "stale";
        EXPECT_FALSE(mail::Base64Decode(text, &decoded)) << text;
        EXPECT_TRUE(decoded.empty()) << text;
    }
}
