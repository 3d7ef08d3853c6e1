// High DPI: the skin drawn at a whole factor of its pixels, so that pixel
// art stays sharp; the window, its regions, the count's box and font scale
// with it. Positions stay in screen pixels.
#include "notifier/count_font.h"
#include "notifier/notifier_dlg.h"
#include "notifier/polite_rules.h"
#include "win32/scoped_gdi.h"

namespace {

// The window's DPI where the system knows it per monitor; else the system's.
int WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32"), "GetDpiForWindow")));
    if (getDpi)
        return static_cast<int>(getDpi(window));
    const win32::WindowDC screen(nullptr);
    return ::GetDeviceCaps(screen.get(), LOGPIXELSX);
}

// The template's size in pixels at 96 DPI, worked out as the dialog manager
// does: dialog units from its font's average letter width and height.
SIZE TemplateSizeAt96Dpi()
{
    const win32::UniqueFont font(::CreateFontA(-MulDiv(NOTIFIER_FONT_POINTS, 96, 72), 0, 0, 0, FW_DONTCARE, FALSE,
        FALSE, FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, NOTIFIER_FONT_FACE));
    const win32::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    const win32::ObjectSelection selection(dc.get(), font.get());
    TEXTMETRICA metrics = {};
    ::GetTextMetricsA(dc.get(), &metrics);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent = {};
    ::GetTextExtentPoint32A(dc.get(), letters, 52, &extent);
    const int baseX = (extent.cx / 26 + 1) / 2;
    return SIZE { MulDiv(NOTIFIER_DLU_WIDTH, baseX, 4), MulDiv(NOTIFIER_DLU_HEIGHT, metrics.tmHeight, 8) };
}

} // namespace

int CNotifierDlg::ScaleForDpi(int dpi) const { return SkinScale(m_settings.scale, dpi); }

int CNotifierDlg::StartScale() { return ScaleForDpi(WindowDpi(m_hWnd)); }

void CNotifierDlg::SizeWindowForScale()
{
    const SIZE base = TemplateSizeAt96Dpi();
    SetWindowPos(nullptr, 0, 0, base.cx * m_scale, base.cy * m_scale, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CNotifierDlg::ApplyScale(int scale)
{
    m_scale = scale;
    m_countFont.reset(CreateCountFont(m_settings.fontSize * scale, m_settings.fontFace));
    if (!m_skin.loaded() || m_finished)
        return;
    m_skin.SetScale(scale);
    SizeWindowForScale();
    ApplyFrameRegion(m_curFrame, TRUE);
}

// Moved to a monitor of another DPI: the same corner, the other scale.
LRESULT CNotifierDlg::OnDpiChanged(WPARAM dpi, LPARAM suggested)
{
    const auto* place = reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(nullptr, place->left, place->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int scale = ScaleForDpi(LOWORD(dpi));
    if (scale != m_scale)
        ApplyScale(scale);
    return 0;
}
