#include "notifier/notifier_dlg.h"

BEGIN_MESSAGE_MAP(CNotifierDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_TIMER()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_CLOSE()
ON_WM_DESTROY()
ON_WM_RBUTTONDOWN()
ON_WM_RBUTTONUP()
ON_WM_MOUSEMOVE()
ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
ON_MESSAGE(WM_WTSSESSION_CHANGE, OnSessionChange)
ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
ON_MESSAGE(WM_FOREGROUND_CHANGED, OnForegroundChanged)
ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
ON_WM_MOUSEHOVER()
ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

CNotifierDlg::CNotifierDlg(CWnd* parent)
    : CDialog(IDD, parent)
{
    // A shared resource icon: never destroyed.
    m_hIcon = ::LoadIconA(
        AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

// The members release whatever the teardown left, in reverse order.
CNotifierDlg::~CNotifierDlg() = default;

void CNotifierDlg::DoDataExchange(CDataExchange* dx) { CDialog::DoDataExchange(dx); }

void CNotifierDlg::OnOK() { CDialog::OnOK(); }

void CNotifierDlg::OnCancel() { CDialog::OnCancel(); }
