// The About entry of the popup's system menu.
#include "about/about_dlg.h"
#include "notifier/notifier_dlg.h"

void CNotifierDlg::AppendAboutMenuItem()
{
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!menu)
        return;
    char text[256] = {};
    ::LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, text, sizeof text);
    if (text[0] != '\0') {
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
    }
}

void CNotifierDlg::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default();
}
