#include <gtest/gtest.h>

#include <string.h>

#include "face_name.h"
#include "title_match.h"

namespace {
// "ＭＳ ゴシック" in code page 932.
const char kGothic[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
} // namespace

TEST(CopyFaceName, ShortNamesAreCopiedWhole)
{
    char field[32];
    CopyFaceName(field, sizeof field, kGothic);
    EXPECT_STREQ(field, kGothic);
    CopyFaceName(field, sizeof field, "");
    EXPECT_STREQ(field, "");
}

TEST(CopyFaceName, LongNamesAreCutBetweenCharacters)
{
    char field[32];
    // 30 ASCII bytes then a double-byte character: 32 bytes do not fit, and
    // the last character may not be halved.
    const std::string name = std::string(30, 'a') + "\x83\x53";
    CopyFaceName(field, sizeof field, name.c_str());
    EXPECT_EQ(strlen(field), 30u);
    // 29 ASCII bytes then a double-byte character: exactly 31 bytes fit.
    const std::string fits = std::string(29, 'a') + "\x83\x53" + "zz";
    CopyFaceName(field, sizeof field, fits.c_str());
    EXPECT_EQ(std::string(field), std::string(29, 'a') + "\x83\x53");
    // All double-byte: 15 characters, 30 bytes.
    std::string wide;
    for (int i = 0; i < 20; ++i)
        wide += "\x83\x53";
    CopyFaceName(field, sizeof field, wide.c_str());
    EXPECT_EQ(strlen(field), 30u);
    // A lone lead byte at the very end counts as one byte.
    const std::string dangling = std::string(10, 'b') + "\x83";
    CopyFaceName(field, sizeof field, dangling.c_str());
    EXPECT_EQ(std::string(field), dangling);
}

TEST(TitleContains, SubstringCaseSensitive)
{
    EXPECT_TRUE(TitleContains("Inbox - Microsoft Outlook", "- Microsoft Outlook"));
    EXPECT_TRUE(TitleContains("- Microsoft Outlook", "- Microsoft Outlook"));
    EXPECT_FALSE(TitleContains("Inbox - microsoft outlook", "- Microsoft Outlook"));
    EXPECT_FALSE(TitleContains("- Microsoft Outloo", "- Microsoft Outlook"));
    EXPECT_FALSE(TitleContains("", "x"));
}

TEST(TitleContains, MatchesOnlyAtCharacterStarts)
{
    // "ソ" is 83 5C: its trail byte is a backslash, which must not match alone.
    EXPECT_FALSE(TitleContains("\x83\x5C", "\\"));
    EXPECT_TRUE(TitleContains("a\\\x83\x5C", "\\"));
    // "\x83\x53\x83\x56" holds the bytes 53 83 in its middle: not a character start.
    EXPECT_FALSE(TitleContains("\x83\x53\x83\x56", "\x53\x83"));
    EXPECT_TRUE(TitleContains(kGothic, "\x83\x56\x83\x62"));
}

TEST(TitleContains, EmptyTextMatchesNothing)
{
    EXPECT_FALSE(TitleContains("anything", ""));
    EXPECT_FALSE(TitleContains("", ""));
}
