// The object behind a window procedure, and the hidden window the watcher
// hears the system through.
#pragma once

#include <windows.h>

#include "win32/handles.h"

namespace win32 {

// The object a window was made for (CreateWindowEx's last argument), kept in
// GWLP_USERDATA from WM_NCCREATE on; null for the few messages before it.
template <typename T> T* WindowObject(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        // lpCreateParams comes first in both CREATESTRUCTA and CREATESTRUCTW.
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<T*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

// A top-level window that is never shown, of class `class_name` (registered
// here; again is harmless), made for `object`. Unlike a message-only window
// it hears what is broadcast: "TaskbarCreated", resume, the session's end.
UniqueWindow CreateHiddenWindow(const char* class_name, const char* title, WNDPROC procedure, void* object);

} // namespace win32
