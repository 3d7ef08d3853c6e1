#include "watch/shell/resume_window.h"

#include <utility>

namespace mail {

ResumeWindow::ResumeWindow(std::function<void()> on_resume)
    : m_onResume(std::move(on_resume))
{
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &ResumeWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kResumeWindowClass;
    ::RegisterClassA(&windowClass);
    // WS_POPUP without WS_VISIBLE: a top-level window that never appears.
    m_window = ::CreateWindowExA(
        WS_EX_TOOLWINDOW, kResumeWindowClass, "larkbellwatch", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
}

ResumeWindow::~ResumeWindow()
{
    if (m_window)
        ::DestroyWindow(m_window);
}

LRESULT CALLBACK ResumeWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    // Windows sends the automatic resume every time, whether or not a user
    // is present, so it alone triggers the reconnect.
    if (message == WM_POWERBROADCAST && wParam == PBT_APMRESUMEAUTOMATIC) {
        auto* self = reinterpret_cast<ResumeWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && self->m_onResume)
            self->m_onResume();
        return TRUE;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace mail
