#include "afxwin.h"

BOOL CDC::CreateCompatibleDC(CDC* reference)
{
    m_dc.reset(::CreateCompatibleDC(reference ? reference->GetSafeHdc() : nullptr));
    return m_dc.valid();
}

BOOL CDC::DeleteDC()
{
    if (!m_dc)
        return FALSE;
    m_dc.reset();
    return TRUE;
}

CPaintDC::CPaintDC(CWnd* wnd)
    : m_hwnd(wnd->m_hWnd)
    , m_hdc(::BeginPaint(m_hwnd, &m_ps))
{
}

CPaintDC::~CPaintDC() { ::EndPaint(m_hwnd, &m_ps); }

BOOL CBitmap::CreateBitmapIndirect(const BITMAP* description)
{
    m_bitmap.reset(::CreateBitmapIndirect(description));
    return m_bitmap.valid();
}

BOOL CBitmap::DeleteObject()
{
    if (!m_bitmap)
        return FALSE;
    m_bitmap.reset();
    return TRUE;
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    m_region.reset(::CreateRectRgn(left, top, right, bottom));
    return m_region.valid();
}

int CRgn::CombineRgn(const CRgn* a, const CRgn* b, int mode)
{
    return ::CombineRgn(m_region.get(), a->GetSafeHandle(), b ? b->GetSafeHandle() : nullptr, mode);
}

BOOL CRgn::DeleteObject()
{
    if (!m_region)
        return FALSE;
    m_region.reset();
    return TRUE;
}
