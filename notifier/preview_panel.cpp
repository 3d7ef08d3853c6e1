#include "notifier/preview_panel.h"

#include <stdio.h>

#include "watch/core/recent_list.h"
#include "win32/scoped_gdi.h"
#include "win32/window_object.h"

namespace {

const wchar_t kPanelClass[] = L"larkbell_preview";
constexpr int kMarginPx = 6;
constexpr int kIndentPx = 14;
constexpr int kWidthChars = 44; // average characters across the panel

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = static_cast<int>(utf8.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], size);
    return wide;
}

// "14:31" today, "12/6 23:05" on another day, in local time.
std::wstring LocalTimeText(int64_t utc_seconds)
{
    const uint64_t ticks = (static_cast<uint64_t>(utc_seconds) + 11644473600ull) * 10000000ull;
    FILETIME utc = { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    FILETIME local;
    SYSTEMTIME when, now;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &when))
        return L"--:--";
    ::GetLocalTime(&now);
    wchar_t text[32];
    if (when.wYear == now.wYear && when.wMonth == now.wMonth && when.wDay == now.wDay)
        swprintf(text, 32, L"%02u:%02u", when.wHour, when.wMinute);
    else
        swprintf(text, 32, L"%u/%u %02u:%02u", when.wMonth, when.wDay, when.wHour, when.wMinute);
    return text;
}

} // namespace

CPreviewPanel::~CPreviewPanel()
{
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
}

void CPreviewPanel::Open()
{
    if (!m_section)
        m_section.emplace(true);
}

bool CPreviewPanel::BuildRows(int lines, int32_t count)
{
    m_rows.clear();
    std::string payload;
    mail::RecentList list;
    if (!m_section || !m_section->Read(&payload) || !mail::DecodeRecentList(payload, &list))
        return false;
    const mail::PanelExtent extent = mail::PanelLines(list.messages.size(), lines, count);
    for (size_t i = 0; i < extent.shown; ++i) {
        const mail::RecentMessage& message = list.messages[i];
        std::wstring head = LocalTimeText(message.time) + L"  " + Wide(message.sender);
        if (list.several_accounts)
            head += L"  [" + Wide(message.account) + L"]";
        m_rows.push_back({ head, false });
        m_rows.push_back({ message.subject.empty() ? std::wstring(L"(件名なし)") : Wide(message.subject), true });
    }
    if (extent.more > 0) {
        wchar_t more[64];
        swprintf(more, 64, L"…ほか %ld 通", static_cast<long>(extent.more));
        m_rows.push_back({ more, false });
    }
    return extent.shown > 0;
}

bool CPreviewPanel::MakeWindow(HWND popup)
{
    if (m_hwnd)
        return true;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &CPreviewPanel::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_INFOBK);
    windowClass.lpszClassName = kPanelClass;
    ::RegisterClassExW(&windowClass); // fails harmlessly the second time
    // The message font, already sized for the screen, in whatever face the system shows Japanese in.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    m_font.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
    m_hwnd = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPanelClass, L"",
        WS_POPUP | WS_BORDER, 0, 0, 1, 1, popup, nullptr, windowClass.hInstance, this);
    if (!m_hwnd)
        return false;
    TEXTMETRICW text = {};
    {
        const win32::WindowDC dc(m_hwnd);
        const win32::ObjectSelection font(dc.get(), m_font.get());
        ::GetTextMetricsW(dc.get(), &text);
    }
    m_rowHeight = text.tmHeight + text.tmExternalLeading + 2;
    m_width = text.tmAveCharWidth * kWidthChars + 2 * kMarginPx;
    return true;
}

// Right of the popup, or left of it where the screen ends; inside the work area.
void CPreviewPanel::Place(HWND popup)
{
    RECT popupRect;
    ::GetWindowRect(popup, &popupRect);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(popup, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int height = static_cast<int>(m_rows.size()) * m_rowHeight + 2 * kMarginPx + 2;
    const int width = m_width + 2;
    int x = popupRect.right + 4;
    if (x + width > work.right)
        x = popupRect.left - 4 - width;
    if (x < work.left)
        x = work.left;
    int y = popupRect.top;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (y < work.top)
        y = work.top;
    ::SetWindowPos(m_hwnd, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CPreviewPanel::Show(HWND popup, int lines, int32_t count)
{
    if (!BuildRows(lines, count)) {
        Hide();
        return;
    }
    if (MakeWindow(popup))
        Place(popup);
}

void CPreviewPanel::Hide()
{
    if (m_hwnd)
        ::ShowWindow(m_hwnd, SW_HIDE);
}

void CPreviewPanel::Dismiss()
{
    if (m_hwnd) {
        ::DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }
    m_rows.clear();
    if (m_section)
        m_section->Write({});
    else
        preview::ClearRecent();
}

void CPreviewPanel::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hwnd, &paint);
    HGDIOBJ previous = ::SelectObject(dc, m_font.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_INFOTEXT));
    int top = kMarginPx;
    for (const Row& row : m_rows) {
        RECT box
            = { kMarginPx + (row.indented ? kIndentPx : 0), top, kMarginPx + m_width - kMarginPx, top + m_rowHeight };
        ::DrawTextW(dc, row.text.c_str(), static_cast<int>(row.text.size()), &box,
            DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_VCENTER);
        top += m_rowHeight;
    }
    ::SelectObject(dc, previous);
    ::EndPaint(m_hwnd, &paint);
}

LRESULT CALLBACK CPreviewPanel::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* panel = win32::WindowObject<CPreviewPanel>(hwnd, message, lParam);
    if (message == WM_PAINT && panel && panel->m_hwnd == hwnd) {
        panel->Paint();
        return 0;
    }
    if (message == WM_MOUSEACTIVATE)
        return MA_NOACTIVATE;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}
