#include "framework/afxwin.h"

#include <stdio.h>
#include <stdlib.h>

#include "win32/module_path.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(LPCSTR appName)
{
    g_app = this;
    if (appName)
        lstrcpynA(m_appName, appName, sizeof m_appName);
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

// The framework would keep its per-user profile under this key; this layer
// only records the name, and nothing reads or writes the registry.
void CWinApp::SetRegistryKey(LPCSTR companyName) { lstrcpynA(m_registryKey, companyName, sizeof m_registryKey); }

// The program opens no documents, so the recent-file list is only sized.
void CWinApp::LoadStdProfileSettings(UINT maxRecentFiles) { m_maxRecentFiles = maxRecentFiles; }

// Three-dimensional controls are the system's own look on every supported
// system; there is nothing left to enable.
BOOL CWinApp::Enable3dControls() { return TRUE; }

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr); }

// Resources live in the executable itself; there are no resource DLLs.
HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR) { return AfxGetInstanceHandle(); }

// The program's dialogs host no controls of other components.
void AfxEnableControlContainer(void*) { }

int AfxMessageBox(LPCSTR text, UINT type, UINT)
{
    HWND owner = nullptr;
    if (g_app && g_app->m_pMainWnd && ::IsWindow(g_app->m_pMainWnd->m_hWnd))
        owner = g_app->m_pMainWnd->m_hWnd;
    return ::MessageBoxA(owner, text, g_app ? g_app->m_appName : "", type);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    if (!app->m_appName[0]) {
        // Named after the executable, as the framework does without a title string.
        char name[_MAX_FNAME] = {};
        _splitpath(win32::ModulePath().c_str(), nullptr, nullptr, name, nullptr);
        lstrcpynA(app->m_appName, name, sizeof app->m_appName);
    }
    // This layer has no message loop of its own: the program runs its one
    // modal dialog inside InitInstance and returns FALSE from it.
    app->InitInstance();
    return app->ExitInstance();
}

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
