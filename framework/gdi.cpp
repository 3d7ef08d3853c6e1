#include "framework/afxwin.h"

namespace {

// An explicit delete empties the owner; FALSE when it held nothing.
template <typename Owner> BOOL DeleteOwned(Owner& owner)
{
    const bool held = owner.valid();
    owner.reset();
    return held;
}

} // namespace

BOOL CDC::CreateCompatibleDC(CDC* reference)
{
    m_dc.reset(::CreateCompatibleDC(reference ? reference->GetSafeHdc() : nullptr));
    return m_dc.valid();
}

BOOL CDC::DeleteDC() { return DeleteOwned(m_dc); }

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

BOOL CBitmap::DeleteObject() { return DeleteOwned(m_bitmap); }

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    m_region.reset(::CreateRectRgn(left, top, right, bottom));
    return m_region.valid();
}

int CRgn::CombineRgn(const CRgn* a, const CRgn* b, int mode)
{
    return ::CombineRgn(m_region.get(), a->GetSafeHandle(), b ? b->GetSafeHandle() : nullptr, mode);
}

BOOL CRgn::DeleteObject() { return DeleteOwned(m_region); }
