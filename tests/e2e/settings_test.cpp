// The settings file: real INI files read through the notifier's own reader,
// and the file a renamed executable picks.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "harness.h"
#include "popup.h"
#include "settings_file.h"

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }

    std::string Path() const { return box.dir() + "\\larkbell.ini"; }
    NotifierSettings Read(const std::string& lines)
    {
        box.WriteFile("larkbell.ini", "[setting]\r\n" + lines);
        return ReadBack();
    }
    NotifierSettings ReadBack() const
    {
        NotifierSettings settings;
        memset(&settings, 0xCD, sizeof settings);
        ReadSettingsFile(Path().c_str(), &settings);
        return settings;
    }

    test::Sandbox box { "larkbell.exe", false };
};

} // namespace

TEST_F(Settings, WithoutAFileEveryKeyHasItsDefault)
{
    const NotifierSettings s = ReadBack();
    EXPECT_EQ(s.interval, 100);
    EXPECT_EQ(s.trans, 200);
    EXPECT_EQ(s.bmpWidth, 120);
    EXPECT_EQ(s.posX, 0);
    EXPECT_EQ(s.posY, 0);
    EXPECT_EQ(s.textRect.left, 85);
    EXPECT_EQ(s.textRect.top, 86);
    EXPECT_EQ(s.textRect.right, 106);
    EXPECT_EQ(s.textRect.bottom, 100);
    EXPECT_EQ(s.activate, 1);
    EXPECT_STREQ(s.windowName, "- Microsoft Outlook");
    EXPECT_EQ(s.fontSize, 12);
    EXPECT_EQ(s.textColor, 0x00BBC7D0u);
    EXPECT_STREQ(s.fontFace, "ＭＳ ゴシック");
    EXPECT_EQ(strlen(s.fontFace), 13u);
    // Reading never makes the file.
    EXPECT_FALSE(box.Exists("larkbell.ini"));
}

TEST_F(Settings, EveryKeyReachesItsField)
{
    const NotifierSettings s = Read("interval=40\r\ntrans=150\r\nbmpwidth=90\r\nposx=-40\r\nposy=-7\r\n"
                                    "textleft=1\r\ntexttop=2\r\ntextright=3\r\ntextbottom=4\r\nactivate=0\r\n"
                                    "windowname=メール - 受信トレイ\r\nfontsize=-20\r\nfontcolr=1\r\nfontcolg=2\r\n"
                                    "fontcolb=3\r\nfont=Tahoma\r\n");
    EXPECT_EQ(s.interval, 40);
    EXPECT_EQ(s.trans, 150);
    EXPECT_EQ(s.bmpWidth, 90);
    EXPECT_EQ(s.posX, -40);
    EXPECT_EQ(s.posY, -7);
    EXPECT_EQ(s.textRect.left, 1);
    EXPECT_EQ(s.textRect.top, 2);
    EXPECT_EQ(s.textRect.right, 3);
    EXPECT_EQ(s.textRect.bottom, 4);
    EXPECT_EQ(s.activate, 0);
    EXPECT_STREQ(s.windowName, "メール - 受信トレイ");
    EXPECT_EQ(s.fontSize, -20);
    EXPECT_EQ(s.textColor, static_cast<COLORREF>(RGB(1, 2, 3)));
    EXPECT_STREQ(s.fontFace, "Tahoma");
}

TEST_F(Settings, EmptyTextIsKeptAndColoursKeepTheirLowBits)
{
    const NotifierSettings s = Read("windowname=\r\nfontcolr=256\r\nfontcolg=300\r\nfontcolb=-1\r\n");
    EXPECT_STREQ(s.windowName, "");
    EXPECT_EQ(s.textColor, static_cast<COLORREF>(RGB(0, 44, 255)));
}

TEST_F(Settings, OverlongTextsAreCutToTheirBuffers)
{
    const std::string window(300, 'w');
    const std::string face(200, 'f');
    const NotifierSettings s = Read("windowname=" + window + "\r\nfont=" + face + "\r\n");
    EXPECT_EQ(std::string(s.windowName), window.substr(0, 255));
    EXPECT_EQ(std::string(s.fontFace), face.substr(0, 127));
}

TEST_F(Settings, WrittenPositionIsReadBackAndOtherLinesStay)
{
    const std::string other = "[other]\r\nkeep=1\r\n";
    box.WriteFile("larkbell.ini", "[setting]\r\nposx=5\r\ninterval=70\r\n" + other);
    WritePositionToFile(Path().c_str(), -40, 25);
    const NotifierSettings s = ReadBack();
    EXPECT_EQ(s.posX, -40);
    EXPECT_EQ(s.posY, 25);
    EXPECT_EQ(s.interval, 70);
    const std::string text = box.ReadFile("larkbell.ini");
    EXPECT_NE(text.find("posx=-40"), std::string::npos) << text;
    EXPECT_NE(text.find("posy=25"), std::string::npos) << text;
    EXPECT_NE(text.find(other), std::string::npos) << text;
}

// Only the last extension of the executable's name is replaced: a decoy
// "popup.ini" beside it must not be the one read.
TEST_F(Settings, DottedExecutableNameReadsItsOwnFile)
{
    test::Notifier notifier("popup.beta.exe");
    test::Picture skin(60, 50, test::kKey);
    skin.Fill(0, 10, 60, 40, RGB(0, 64, 128));
    notifier.SetSkin(skin);
    notifier.box().WriteFile("popup.beta.ini", "[setting]\r\nposx=123\r\nposy=77\r\nbmpwidth=0\r\n");
    notifier.box().WriteFile("popup.ini", "[setting]\r\nposx=400\r\nposy=300\r\nbmpwidth=0\r\n");
    const HWND popup = notifier.Start();
    ASSERT_NE(popup, nullptr);
    RECT where = {};
    EXPECT_TRUE(test::WaitFor([&] {
        ::GetWindowRect(popup, &where);
        return where.left == 123 && where.top == 77;
    })) << where.left
        << "," << where.top;
}
