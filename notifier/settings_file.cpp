#include "settings_file.h"

#include <stdio.h>

#include "frame_geometry.h"

namespace {

const char kSection[] = "setting";

int ReadInt(const char* key, int fallback, const char* path)
{
    return static_cast<int>(::GetPrivateProfileIntA(kSection, key, fallback, path));
}

void WriteInt(const char* key, int value, const char* path)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    ::WritePrivateProfileStringA(kSection, key, text, path);
}

} // namespace

void ReadSettingsFile(const char* path, NotifierSettings* s)
{
    s->interval = ReadInt("interval", 100, path);
    s->trans = ReadInt("trans", 200, path);
    s->bmpWidth = ReadInt("bmpwidth", 120, path);
    s->posX = ReadInt("posx", 0, path);
    s->posY = ReadInt("posy", 0, path);
    s->textRect.left = ReadInt("textleft", 85, path);
    s->textRect.top = ReadInt("texttop", 86, path);
    s->textRect.right = ReadInt("textright", 106, path);
    s->textRect.bottom = ReadInt("textbottom", 100, path);
    s->activate = ReadInt("activate", 1, path);
    ::GetPrivateProfileStringA(
        kSection, "windowname", "- Microsoft Outlook", s->windowName, sizeof s->windowName, path);
    s->fontSize = ReadInt("fontsize", 12, path);
    const int red = ReadInt("fontcolr", 208, path);
    const int green = ReadInt("fontcolg", 199, path);
    const int blue = ReadInt("fontcolb", 187, path);
    s->textColor = PackColour(red, green, blue);
    ::GetPrivateProfileStringA(kSection, "font", "ＭＳ ゴシック", s->fontFace, sizeof s->fontFace, path);
    s->previewLines = static_cast<int>(::GetPrivateProfileIntA("preview", "lines", 5, path));
}

void WritePositionToFile(const char* path, int x, int y)
{
    WriteInt("posx", x, path);
    WriteInt("posy", y, path);
}
