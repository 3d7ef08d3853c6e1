#include "popup_probe.h"

#include <stdio.h>
#include <string.h>

#include "harness.h"
#include "input.h"
#include "scoped_gdi.h"

namespace test {

namespace {

    struct PopupSearch {
        DWORD pid;
        HWND found;
    };

    BOOL CALLBACK MatchPopup(HWND window, LPARAM context)
    {
        auto* search = reinterpret_cast<PopupSearch*>(context);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        char className[16] = {};
        ::GetClassNameA(window, className, sizeof className);
        const bool layered = (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
        if (pid != search->pid || strcmp(className, "#32770") != 0 || !layered || !::IsWindowVisible(window))
            return TRUE;
        search->found = window;
        return FALSE;
    }

} // namespace

HWND WaitForPopupOf(DWORD pid, DWORD ms)
{
    PopupSearch search = { pid, nullptr };
    WaitFor(
        [&] {
            ::EnumWindows(&MatchPopup, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        ms);
    return search.found;
}

POINT TopLeftOf(HWND window)
{
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    return POINT { rect.left, rect.top };
}

bool SamePoint(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

bool WaitForTopLeft(HWND window, POINT where, DWORD ms)
{
    return WaitFor([&] { return SamePoint(TopLeftOf(window), where); }, ms);
}

bool WaitForBadgeOnTop(HWND popup, POINT* badge, DWORD ms)
{
    return WaitFor(
        [&] {
            const POINT topLeft = TopLeftOf(popup);
            *badge = POINT { topLeft.x + kBadgeInWindow.x, topLeft.y + kBadgeInWindow.y };
            return ::WindowFromPoint(*badge) == popup;
        },
        ms);
}

fw::UniqueRgn ShapeOf(HWND window)
{
    fw::UniqueRgn shape(::CreateRectRgn(0, 0, 0, 0));
    if (::GetWindowRgn(window, shape.get()) == ERROR)
        shape.reset();
    return shape;
}

bool SameShape(HRGN a, HRGN b)
{
    if (!a || !b)
        return a == b;
    return ::EqualRgn(a, b) != FALSE;
}

bool WaitForShapeChange(HWND window, HRGN shape, DWORD ms)
{
    return WaitFor([&] { return !SameShape(ShapeOf(window).get(), shape); }, ms);
}

std::vector<COLORREF> ScreenColours(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<COLORREF> colours;
    if (width <= 0 || height <= 0)
        return colours;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const fw::WindowDC screen(nullptr);
    const fw::UniqueBitmap copy(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const fw::UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    if (!copy || !memory)
        return colours;
    {
        const fw::ObjectSelection selection(memory.get(), copy.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }
    const auto* pixels = static_cast<const DWORD*>(bits);
    colours.reserve(static_cast<size_t>(width) * height);
    for (int i = 0; i < width * height; ++i) {
        const DWORD bgr = pixels[i];
        colours.push_back(RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF));
    }
    return colours;
}

POINT ControlCentre(HWND dialog, int id)
{
    RECT rect = {};
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    return POINT { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 };
}

std::string SaveScreenshot(const char* name, const RECT& area)
{
    const std::string folder = ProgramDir() + "\\..\\screenshots";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string linuxFolder = LinuxPath(folder);
    if (linuxFolder.empty())
        return "";
    const std::string path = linuxFolder + "/" + name + ".png";
    char crop[64];
    snprintf(crop, sizeof crop, "%ldx%ld+%ld+%ld", area.right - area.left, area.bottom - area.top, area.left, area.top);
    if (!RunLinux("/usr/bin/import -window root -crop " + std::string(crop) + " " + path))
        return "";
    return path;
}

std::vector<std::string> NonBlankLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool DragTo(HWND popup, POINT cursor, POINT topLeft)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        PointerTo(Shifted(cursor, 1, 1));
        PointerTo(cursor);
        if (WaitForTopLeft(popup, topLeft, 3000))
            return true;
    }
    return false;
}

} // namespace test
