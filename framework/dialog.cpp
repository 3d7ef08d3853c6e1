#include "framework/afxwin.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId)
    , m_parent(parent)
{
}

INT_PTR CDialog::DoModal()
{
    // With no parent the application's main window owns the dialog.
    const CWinApp* app = AfxGetApp();
    const CWnd* owner = m_parent ? m_parent : (app ? app->m_pMainWnd : nullptr);
    HWND ownerHwnd = owner && owner != this ? owner->m_hWnd : nullptr;
    return ::DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_templateId), ownerHwnd, &CDialog::DialogProc,
        reinterpret_cast<LPARAM>(this));
}

// The dialog manager's own procedure calls this one. By the time anything but
// WM_INITDIALOG arrives, the window procedure is CWnd's and the message map has
// had its turn; what reaches here is the default course of a message.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->SubclassWindow(hwnd);
        RECT before;
        ::GetWindowRect(hwnd, &before);
        const LONG styleBefore = ::GetWindowLongA(hwnd, GWL_STYLE);
        const BOOL result = self->OnInitDialog();
        self->CenterIfNotPlaced(before, styleBefore);
        return result;
    }
    CDialog* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self || message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        self->OnOK();
        return TRUE;
    case IDCANCEL:
        self->OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

// A hidden modal dialog that its initialisation did not place opens centred
// over the owner it disables; a dialog without an owner stays where it is.
void CDialog::CenterIfNotPlaced(const RECT& before, LONG styleBefore)
{
    if ((styleBefore & WS_VISIBLE) || (::GetWindowLongA(m_hWnd, GWL_STYLE) & (WS_VISIBLE | WS_CHILD)))
        return;
    RECT now;
    ::GetWindowRect(m_hWnd, &now);
    if (now.left != before.left || now.top != before.top)
        return;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (!owner || ::IsWindowEnabled(owner))
        return;
    CenterWindow();
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        ::EndDialog(m_hWnd, IDOK);
}

void CDialog::OnCancel() { ::EndDialog(m_hWnd, IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) { }

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange exchange = { saveAndValidate };
    DoDataExchange(&exchange);
    return TRUE;
}
