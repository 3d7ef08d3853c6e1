#include "notifier/settings_file.h"

#include <stdio.h>

#include "notifier/frame_geometry.h"
#include "notifier/settings_keys.h"

namespace {

const char kSection[] = "setting";

int ReadInt(SettingKey key, int fallback, const char* path)
{
    return static_cast<int>(::GetPrivateProfileIntA(kSection, kSettingKeys[key], fallback, path));
}

void WriteInt(SettingKey key, int value, const char* path)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    ::WritePrivateProfileStringA(kSection, kSettingKeys[key], text, path);
}

} // namespace

void ReadSettingsFile(const char* path, NotifierSettings* s)
{
    s->interval = ReadInt(kKeyInterval, 100, path);
    s->trans = ReadInt(kKeyTrans, 200, path);
    s->bmpWidth = ReadInt(kKeyBmpWidth, 120, path);
    s->posX = ReadInt(kKeyPosX, 0, path);
    s->posY = ReadInt(kKeyPosY, 0, path);
    s->textRect.left = ReadInt(kKeyTextLeft, 85, path);
    s->textRect.top = ReadInt(kKeyTextTop, 86, path);
    s->textRect.right = ReadInt(kKeyTextRight, 106, path);
    s->textRect.bottom = ReadInt(kKeyTextBottom, 100, path);
    s->activate = ReadInt(kKeyActivate, 1, path);
    ::GetPrivateProfileStringA(
        kSection, kSettingKeys[kKeyWindowName], "- Microsoft Outlook", s->windowName, sizeof s->windowName, path);
    s->fontSize = ReadInt(kKeyFontSize, 12, path);
    const int red = ReadInt(kKeyFontColR, 208, path);
    const int green = ReadInt(kKeyFontColG, 199, path);
    const int blue = ReadInt(kKeyFontColB, 187, path);
    s->textColor = PackColour(red, green, blue);
    ::GetPrivateProfileStringA(
        kSection, kSettingKeys[kKeyFont], "ＭＳ ゴシック", s->fontFace, sizeof s->fontFace, path);
    // "auto", or no number at all, reads as 0.
    s->scale = ReadInt(kKeyScale, 0, path);
    s->quiet = ReadInt(kKeyQuiet, 1, path);
    s->previewLines = static_cast<int>(::GetPrivateProfileIntA(kPreviewSection, kPreviewKeys[0], 5, path));
}

void WritePositionToFile(const char* path, int x, int y)
{
    WriteInt(kKeyPosX, x, path);
    WriteInt(kKeyPosY, y, path);
}
