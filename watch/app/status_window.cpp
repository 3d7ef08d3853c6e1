#include "watch/app/status_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "watch/app/tray_texts.h"
#include "watch/res/watch_resource.h"
#include "win32/window_object.h"

namespace mail {

namespace {

    constexpr TrayText kColumns[] = {
        TrayText::ColumnWhere,
        TrayText::ColumnState,
        TrayText::ColumnLastCheck,
        TrayText::ColumnLastError,
    };
    constexpr int kColumnCount = static_cast<int>(sizeof kColumns / sizeof kColumns[0]);
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    constexpr DWORD kExStyle = WS_EX_TOPMOST;

    HFONT CreateMessageFont()
    {
        NONCLIENTMETRICSA metrics = {};
        metrics.cbSize = sizeof metrics;
        if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            return nullptr;
        return ::CreateFontIndirectA(&metrics.lfMessageFont);
    }

    void SetCell(HWND list, int row, int column, const std::string& text)
    {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = const_cast<char*>(text.c_str());
        ::SendMessageA(list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, column == 0 ? 0 : row,
            reinterpret_cast<LPARAM>(&item));
    }

    int TextWidth(HWND list, const char* text)
    {
        return static_cast<int>(::SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    }

    RECT WorkArea()
    {
        RECT area = { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) };
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        return area;
    }

} // namespace

void StatusWindow::Open(const WatchStatus& status, const StatusView& view)
{
    const bool created = !m_window;
    if (created && !Create(view.language))
        return;
    Fill(status, view);
    if (created) {
        PlaceAtWorkAreaCorner();
        ::ShowWindow(m_window.get(), SW_SHOW);
    }
    ::SetForegroundWindow(m_window.get());
    ::SetFocus(m_list);
}

void StatusWindow::Update(const WatchStatus& status, const StatusView& view)
{
    if (m_window)
        Fill(status, view);
}

bool StatusWindow::Create(UiLanguage language)
{
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_LISTVIEW_CLASSES };
    ::InitCommonControlsEx(&controls);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &StatusWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_WATCH_NORMAL)); // shared: never destroyed
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kStatusWindowClass;
    ::RegisterClassA(&windowClass); // fails harmlessly when registered before
    m_window.reset(::CreateWindowExA(kExStyle, kStatusWindowClass, TrayTextOf(TrayText::StatusTitle, language), kStyle,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this));
    if (!m_window)
        return false;
    m_list
        = ::CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL,
            0, 0, 0, 0, m_window.get(), nullptr, instance, nullptr);
    if (!m_list) {
        m_window.reset();
        return false;
    }
    if (!m_font)
        m_font.reset(CreateMessageFont());
    if (m_font)
        ::SendMessageA(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    ::SendMessageA(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int column = 0; column < kColumnCount; ++column) {
        LVCOLUMNA header = {};
        header.mask = LVCF_TEXT | LVCF_SUBITEM;
        header.pszText = const_cast<char*>(TrayTextOf(kColumns[column], language));
        header.iSubItem = column;
        ::SendMessageA(m_list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header));
    }
    m_language = language;
    return true;
}

void StatusWindow::Fill(const WatchStatus& status, const StatusView& view)
{
    ::SendMessageA(m_list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(m_list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t row = 0; row < status.folders.size(); ++row) {
        const StatusCells cells = StatusCellsOf(status.folders[row], view);
        const int index = static_cast<int>(row);
        SetCell(m_list, index, 0, cells.where);
        SetCell(m_list, index, 1, cells.state);
        SetCell(m_list, index, 2, cells.last_check);
        SetCell(m_list, index, 3, cells.last_error);
    }
    ::SendMessageA(m_list, WM_SETREDRAW, TRUE, 0);
    const std::string paused = PausedText(status, view);
    const std::string title = TrayTextOf(TrayText::StatusTitle, m_language);
    ::SetWindowTextA(m_window.get(), paused.empty() ? title.c_str() : (title + " - " + paused).c_str());
    FitToContent();
}

void StatusWindow::FitToContent()
{
    const int padding = TextWidth(m_list, "MM"); // a header's margins, about
    int width = 0;
    for (int column = 0; column < kColumnCount; ++column) {
        ::SendMessageA(m_list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE);
        const int content = static_cast<int>(::SendMessageA(m_list, LVM_GETCOLUMNWIDTH, column, 0));
        const int fitted = std::max(content, TextWidth(m_list, TrayTextOf(kColumns[column], m_language)) + padding);
        ::SendMessageA(m_list, LVM_SETCOLUMNWIDTH, column, fitted);
        width += fitted;
    }
    // The header has its height once the list has a size.
    ::MoveWindow(m_list, 0, 0, width, 1000, FALSE);
    RECT header = {};
    ::GetWindowRect(reinterpret_cast<HWND>(::SendMessageA(m_list, LVM_GETHEADER, 0, 0)), &header);
    RECT row = {};
    const int rows = static_cast<int>(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0));
    row.left = LVIR_BOUNDS;
    if (rows == 0 || !::SendMessageA(m_list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)))
        row = RECT {};
    const RECT area = WorkArea();
    RECT frame = { 0, 0, width, (header.bottom - header.top) + rows * (row.bottom - row.top) + padding / 2 };
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const int frameWidth = static_cast<int>(std::min(frame.right - frame.left, area.right - area.left));
    const int frameHeight = static_cast<int>(std::min(frame.bottom - frame.top, area.bottom - area.top));
    ::SetWindowPos(m_window.get(), nullptr, 0, 0, frameWidth, frameHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client = {};
    ::GetClientRect(m_window.get(), &client);
    ::MoveWindow(m_list, 0, 0, client.right, client.bottom, TRUE);
}

void StatusWindow::PlaceAtWorkAreaCorner()
{
    // Beside the notification area, where the icon that opened it sits.
    RECT window = {};
    ::GetWindowRect(m_window.get(), &window);
    const RECT area = WorkArea();
    ::SetWindowPos(m_window.get(), nullptr, area.right - (window.right - window.left),
        area.bottom - (window.bottom - window.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK StatusWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = win32::WindowObject<StatusWindow>(window, message, lParam);
    switch (message) {
    case WM_NOTIFY: {
        const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lParam);
        if (key->hdr.code == LVN_KEYDOWN && key->wVKey == VK_ESCAPE)
            ::DestroyWindow(window);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            ::DestroyWindow(window);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && self && self->m_list)
            ::SetFocus(self->m_list);
        return 0;
    case WM_NCDESTROY:
        // Closed by the user or by the owner: either way the handle is gone.
        if (self) {
            self->m_list = nullptr;
            self->m_window.release();
        }
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace mail
