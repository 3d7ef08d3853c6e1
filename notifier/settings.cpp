// The notifier's side of the settings file: read once at start-up; only the
// position is ever written back.
#include "notifier/notifier_dlg.h"
#include "notifier/settings_file.h"

void CNotifierDlg::LoadSettings() { ReadSettingsFile(SettingsPath().c_str(), &m_settings); }

void CNotifierDlg::SavePosition() const
{
    WritePositionToFile(SettingsPath().c_str(), m_settings.posX, m_settings.posY);
}
