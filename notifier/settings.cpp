// Settings file: every key read once at start-up; only the position is
// ever written back.
#include <stdio.h>

#include "frame_geometry.h"
#include "module_path.h"
#include "notifier_dlg.h"

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

void CNotifierDlg::LoadSettings()
{
    char path[MAX_PATH];
    SettingsPath(path, sizeof path);

    m_interval = ReadInt("interval", 100, path);
    m_useTrans = 1;
    m_trans = ReadInt("trans", 200, path);
    m_bmpWidth = ReadInt("bmpwidth", 120, path);
    m_posX = ReadInt("posx", 0, path);
    m_posY = ReadInt("posy", 0, path);
    m_textRect.left = ReadInt("textleft", 85, path);
    m_textRect.top = ReadInt("texttop", 86, path);
    m_textRect.right = ReadInt("textright", 106, path);
    m_textRect.bottom = ReadInt("textbottom", 100, path);
    m_activate = ReadInt("activate", 1, path);
    ::GetPrivateProfileStringA(kSection, "windowname", "- Microsoft Outlook", g_windowName, sizeof g_windowName, path);
    m_fontSize = ReadInt("fontsize", 12, path);
    const int red = ReadInt("fontcolr", 208, path);
    const int green = ReadInt("fontcolg", 199, path);
    const int blue = ReadInt("fontcolb", 187, path);
    m_textColor = PackColour(red, green, blue);
    ::GetPrivateProfileStringA(kSection, "font", "ＭＳ ゴシック", m_fontFace, sizeof m_fontFace, path);
}

void CNotifierDlg::SavePosition() const
{
    char path[MAX_PATH];
    SettingsPath(path, sizeof path);
    WriteInt("posx", m_posX, path);
    WriteInt("posy", m_posY, path);
}
