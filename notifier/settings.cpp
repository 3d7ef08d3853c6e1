// The notifier's side of the settings file: read once at start-up; only the
// position is ever written back.
#include <string.h>

#include "notifier_dlg.h"
#include "settings_file.h"

void CNotifierDlg::LoadSettings()
{
    NotifierSettings settings;
    ReadSettingsFile(SettingsPath().c_str(), &settings);

    m_interval = settings.interval;
    m_useTrans = 1;
    m_trans = settings.trans;
    m_bmpWidth = settings.bmpWidth;
    m_posX = settings.posX;
    m_posY = settings.posY;
    m_textRect = settings.textRect;
    m_activate = settings.activate;
    memcpy(g_windowName, settings.windowName, sizeof g_windowName);
    m_fontSize = settings.fontSize;
    m_textColor = settings.textColor;
    memcpy(m_fontFace, settings.fontFace, sizeof m_fontFace);
}

void CNotifierDlg::SavePosition() const { WritePositionToFile(SettingsPath().c_str(), m_posX, m_posY); }
