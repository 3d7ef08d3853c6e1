#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "notifier/face_name.h"
#include "notifier/title_match.h"

TEST(CopyFaceName, LongNamesAreCutBetweenCharacters)
{
    const std::string gothic = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e"; // ＭＳ ゴシック
    std::string wide;
    for (int i = 0; i < 20; ++i)
        wide += "\x83\x53";
    // What a field of 32 bytes holds.
    const std::pair<std::string, std::string> cases[] = {
        { gothic, gothic }, { "", "" },
        { std::string(30, 'a') + "\x83\x53", std::string(30, 'a') }, // the last character may not be halved
        { std::string(29, 'a') + "\x83\x53zz", std::string(29, 'a') + "\x83\x53" }, // exactly 31 bytes fit
        { wide, wide.substr(0, 30) },
        { std::string(10, 'b') + "\x83", std::string(10, 'b') + "\x83" } // a lone lead byte at the end
    };
    for (const auto& [name, copied] : cases) {
        char field[32];
        memset(field, 'X', sizeof field);
        CopyFaceName(field, sizeof field, name.c_str());
        EXPECT_EQ(std::string(field), copied) << name;
    }
}

TEST(TitleContains, CaseSensitiveAtCharacterStartsAndNeverEmpty)
{
    const std::tuple<const char*, const char*, bool> cases[]
        = { { "Inbox - Microsoft Outlook", "- Microsoft Outlook", true },
              { "- Microsoft Outlook", "- Microsoft Outlook", true },
              { "Inbox - microsoft outlook", "- Microsoft Outlook", false },
              { "- Microsoft Outloo", "- Microsoft Outlook", false }, { "", "x", false },
              { "\x83\x5C", "\\", false }, // ソ: its trail byte is a backslash
              { "a\\\x83\x5C", "\\", true }, { "\x83\x53\x83\x56", "\x53\x83", false },
              { "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e", "\x83\x56\x83\x62", true },
              { "anything", "", false }, { "", "", false } };
    for (const auto& [title, text, contains] : cases)
        EXPECT_EQ(TitleContains(title, text), contains) << title << " / " << text;
}
