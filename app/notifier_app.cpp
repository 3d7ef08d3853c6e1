#include "app/notifier_app.h"

#include <stdlib.h>

#include "app/gui_libraries.h"
#include "counter/count_math.h"
#include "counter/counter.h"
#include "notifier/notifier_dlg.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

CNotifierApp theApp;

BEGIN_MESSAGE_MAP(CNotifierApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CNotifierApp::CNotifierApp()
    : CWinApp(nullptr)
{
}

BOOL CNotifierApp::InitInstance()
{
    AfxEnableControlContainer(nullptr);

    // One hold of the counter lock covers the read and the write, so starts
    // at the same moment lose no addition.
    if (__argc > 1)
        AddToMailCount(ParseIncrement(__argv[1]), nullptr);

    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, INSTANCE_MUTEX_NAME);
    const DWORD createError = ::GetLastError();
    m_hInstanceMutex.reset(mutex);
    if (!m_hInstanceMutex || createError == ERROR_ALREADY_EXISTS)
        return FALSE;
    // Nothing above touches a window or a DC: an increment ends before this.
    if (!LoadGuiLibraries())
        return FALSE;

    // Counts stored by later, short-lived starts must outlive them.
    HoldCounterSection();

    SetRegistryKey("Corvane");
    LoadStdProfileSettings(4);
    Enable3dControls();
    {
        CNotifierDlg dlg(nullptr);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_hInstanceMutex.reset();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
