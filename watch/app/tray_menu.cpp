#include "watch/app/tray_menu.h"

#include "watch/app/tray_texts.h"
#include "win32/handles.h"

namespace mail {

TrayCommand ChooseFromTrayMenu(HWND owner, UiLanguage language, bool paused)
{
    const win32::UniqueMenu menu(::CreatePopupMenu());
    if (!menu)
        return TrayCommand::None;
    const auto add = [&](TrayCommand command, TrayText text) {
        ::AppendMenuA(menu.get(), MF_STRING, static_cast<UINT_PTR>(command), TrayTextOf(text, language));
    };
    add(TrayCommand::CheckNow, TrayText::CheckNow);
    add(TrayCommand::Status, TrayText::Status);
    add(TrayCommand::OpenLog, TrayText::OpenLog);
    ::AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    if (paused)
        add(TrayCommand::Resume, TrayText::Resume);
    else
        add(TrayCommand::Pause, TrayText::Pause);
    ::AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(TrayCommand::Quit, TrayText::Quit);
    // A left click opens the status window: the menu shows that in bold.
    ::SetMenuDefaultItem(menu.get(), static_cast<UINT>(TrayCommand::Status), FALSE);
    POINT at = {};
    ::GetCursorPos(&at);
    // Without the foreground the menu stays open after a click elsewhere,
    // and without a message after it the next one closes at once.
    ::SetForegroundWindow(owner);
    const UINT chosen
        = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    ::PostMessageA(owner, WM_NULL, 0, 0);
    return static_cast<TrayCommand>(chosen);
}

} // namespace mail
