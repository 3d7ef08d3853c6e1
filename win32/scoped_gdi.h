// Scoped borrows of GDI state: each remembers what its release needs.
#pragma once

#include <windows.h>

namespace win32 {

// A window's device context from GetDC, given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) noexcept
        : m_hwnd(hwnd)
        , m_hdc(::GetDC(hwnd))
    {
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC()
    {
        if (m_hdc)
            ::ReleaseDC(m_hwnd, m_hdc);
    }
    HDC get() const noexcept { return m_hdc; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};

// An object selected into a DC; the previous one goes back on scope exit.
class ObjectSelection {
public:
    ObjectSelection(HDC hdc, HGDIOBJ object) noexcept
        : m_hdc(hdc)
        , m_previous(::SelectObject(hdc, object))
    {
    }
    ObjectSelection(const ObjectSelection&) = delete;
    ObjectSelection& operator=(const ObjectSelection&) = delete;
    ~ObjectSelection()
    {
        if (m_previous && m_previous != HGDI_ERROR)
            ::SelectObject(m_hdc, m_previous);
    }
    HGDIOBJ previous() const noexcept { return m_previous; }

private:
    HDC m_hdc;
    HGDIOBJ m_previous;
};

} // namespace win32
