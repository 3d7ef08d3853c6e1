// The icon's right-click menu.
#pragma once

#include <windows.h>

#include "watch/core/watch_status.h"

namespace mail {

enum class TrayCommand { None, CheckNow, Status, OpenLog, Pause, Resume, Quit };

// Shows the menu at the pointer and waits for a choice; `paused` offers
// Resume instead of Pause.
TrayCommand ChooseFromTrayMenu(HWND owner, UiLanguage language, bool paused);

} // namespace mail
