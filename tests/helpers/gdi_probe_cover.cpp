// A top-most popup laid over another program's window, for tests of that
// program's top-most upkeep.
//   gdi_probe_cover X Y WIDTH HEIGHT HWND
// Covers the screen rectangle, raises itself until it stands above window
// HWND (hexadecimal) in the z-order, prints "above" (or "never"), then runs
// until it is ended, or for two minutes.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

constexpr UINT LIFETIME_MS = 120000;

bool IsAbove(HWND window, HWND other)
{
    for (HWND next = ::GetWindow(window, GW_HWNDNEXT); next; next = ::GetWindow(next, GW_HWNDNEXT)) {
        if (next == other)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: gdi_probe_cover X Y WIDTH HEIGHT HWND\n");
        return 1;
    }
    const int x = atoi(argv[1]);
    const int y = atoi(argv[2]);
    const int width = atoi(argv[3]);
    const int height = atoi(argv[4]);
    const HWND target = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(argv[5], nullptr, 16)));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "gdi_probe_cover";
    ::RegisterClassA(&windowClass);
    const HWND cover = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, "cover",
        WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!cover)
        return 2;

    bool above = false;
    for (int attempt = 0; attempt < 50 && !above; ++attempt) {
        ::SetWindowPos(cover, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
        above = IsAbove(cover, target);
    }
    printf(above ? "above\n" : "never\n");
    fflush(stdout);

    ::SetTimer(nullptr, 0, LIFETIME_MS, nullptr);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER)
            break;
        ::DispatchMessageA(&message);
    }
    return 0;
}
