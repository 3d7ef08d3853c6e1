#include "win32/window_object.h"

namespace win32 {

UniqueWindow CreateHiddenWindow(const char* class_name, const char* title, WNDPROC procedure, void* object)
{
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = class_name;
    ::RegisterClassA(&windowClass);
    // WS_POPUP without WS_VISIBLE, and no taskbar button.
    return UniqueWindow(::CreateWindowExA(
        WS_EX_TOOLWINDOW, class_name, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, object));
}

} // namespace win32
