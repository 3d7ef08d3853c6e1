// The words of the icon's menu and of the status window, in English and
// Japanese (code page 932 bytes, like every text of the program).
#pragma once

#include "watch/core/watch_status.h"

namespace mail {

enum class TrayText {
    CheckNow,
    Status,
    OpenLog,
    Pause,
    Resume,
    Quit,
    StatusTitle,
    ColumnWhere,
    ColumnState,
    ColumnLastCheck,
    ColumnLastError,
};

const char* TrayTextOf(TrayText text, UiLanguage language);

} // namespace mail
