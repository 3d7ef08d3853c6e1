#include "framework/afxwin.h"

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { 0, 0, nullptr } };
    static const AFX_MSGMAP map = { nullptr, &entries[0] };
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT commandId) const
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->message != 0; ++entry) {
            if (entry->message == message && (message != WM_COMMAND || entry->commandId == commandId))
                return entry;
        }
    }
    return nullptr;
}

const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::CenterWindow()
{
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    RECT around = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &around);

    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (around.left + around.right) / 2 - width / 2;
    int y = (around.top + around.bottom) / 2 - height / 2;
    if (x + width > work.right)
        x = work.right - width;
    if (x < work.left)
        x = work.left;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (y < work.top)
        y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::SubclassWindow(HWND hwnd)
{
    m_hWnd = hwnd;
    // The window's user data, not a property: every message looks it up, and
    // a property lookup is a round trip to the window server under Wine.
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_superProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WindowProc)));
}

LRESULT CWnd::Default()
{
    return ::CallWindowProcA(m_superProc, m_hWnd, m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

LRESULT CALLBACK CWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* self = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam);
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Handlers may send messages of their own: keep the outer one for Default.
    const MSG outer = m_currentMsg;
    m_currentMsg = MSG { m_hWnd, message, wParam, lParam, 0, {} };

    LRESULT result;
    const UINT commandId = LOWORD(wParam);
    if (const AFX_MSGMAP_ENTRY* entry = FindEntry(message, commandId))
        result = entry->handler(this, wParam, lParam);
    else if (message == WM_COMMAND && AfxGetApp() && (entry = AfxGetApp()->FindEntry(message, commandId)))
        result = entry->handler(AfxGetApp(), wParam, lParam); // commands the window leaves go to the application
    else
        result = Default();

    m_currentMsg = outer;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
    }
    return result;
}
