// The framework layer: the few application-framework classes the program is
// written against (application object, modal dialogs with message maps, GDI
// owners, message boxes). Only what the program uses lives here; see README.md.
#pragma once

#include <windows.h>

#include "win32/handles.h"

// Marks message handlers, as in the framework this layer follows.
#define afx_msg

class CCmdTarget;
class CWnd;

// ---------------------------------------------------------------------------
// Message maps: a static table per class, chained to the base class's table.
// Each entry's `handler` cracks WPARAM/LPARAM into the handler's typed
// arguments (see afx_crack below).

using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT message; // 0 ends the table
    UINT commandId; // WM_COMMAND entries only
    AFX_PMSG handler;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                                          \
protected:                                                                                                             \
    static const AFX_MSGMAP* GetThisMessageMap();                                                                      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                         \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }                                  \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                                    \
    {                                                                                                                  \
        using ThisClass = theClass;                                                                                    \
        using TheBaseClass = baseClass;                                                                                \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                                              \
    {                                                                                                                  \
        0, 0, nullptr                                                                                                  \
    }                                                                                                                  \
    }                                                                                                                  \
    ;                                                                                                                  \
    static_assert(sizeof(ThisClass) > 0, "an empty map names its class too");                                          \
    static const AFX_MSGMAP map = { &TheBaseClass::GetThisMessageMap, &entries[0] };                                   \
    return &map;                                                                                                       \
    }

namespace afx_crack {

template <class T> T* As(CCmdTarget* target) { return static_cast<T*>(target); }

template <class T, void (T::*F)()> LRESULT Void(CCmdTarget* t, WPARAM, LPARAM)
{
    (As<T>(t)->*F)();
    return 0;
}

template <class T, void (T::*F)(UINT)> LRESULT Id(CCmdTarget* t, WPARAM wParam, LPARAM)
{
    (As<T>(t)->*F)(static_cast<UINT>(wParam));
    return 0;
}

template <class T, void (T::*F)(UINT, LPARAM)> LRESULT IdParam(CCmdTarget* t, WPARAM wParam, LPARAM lParam)
{
    (As<T>(t)->*F)(static_cast<UINT>(wParam), lParam);
    return 0;
}

template <class T, void (T::*F)(UINT, POINT)> LRESULT Mouse(CCmdTarget* t, WPARAM wParam, LPARAM lParam)
{
    const POINT point = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
    (As<T>(t)->*F)(static_cast<UINT>(wParam), point);
    return 0;
}

template <class T, LRESULT (T::*F)(WPARAM, LPARAM)> LRESULT Message(CCmdTarget* t, WPARAM wParam, LPARAM lParam)
{
    return (As<T>(t)->*F)(wParam, lParam);
}

template <class T, HCURSOR (T::*F)()> LRESULT Cursor(CCmdTarget* t, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((As<T>(t)->*F)());
}

template <class> struct MemberOf;
template <class C> struct MemberOf<void (C::*)()> {
    using type = C;
};

// A command handler may belong to a base class of the map's class.
template <auto F> LRESULT Command(CCmdTarget* t, WPARAM, LPARAM)
{
    (As<typename MemberOf<decltype(F)>::type>(t)->*F)();
    return 0;
}

} // namespace afx_crack

#define AFX_MSG_ENTRY(msg, crack, fn) { msg, 0, &afx_crack::crack<ThisClass, &ThisClass::fn> },
#define ON_WM_SYSCOMMAND() AFX_MSG_ENTRY(WM_SYSCOMMAND, IdParam, OnSysCommand)
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, Void, OnPaint)
#define ON_WM_QUERYDRAGICON() AFX_MSG_ENTRY(WM_QUERYDRAGICON, Cursor, OnQueryDragIcon)
#define ON_WM_TIMER() AFX_MSG_ENTRY(WM_TIMER, Id, OnTimer)
#define ON_WM_LBUTTONDOWN() AFX_MSG_ENTRY(WM_LBUTTONDOWN, Mouse, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MSG_ENTRY(WM_LBUTTONUP, Mouse, OnLButtonUp)
#define ON_WM_CLOSE() AFX_MSG_ENTRY(WM_CLOSE, Void, OnClose)
#define ON_WM_DESTROY() AFX_MSG_ENTRY(WM_DESTROY, Void, OnDestroy)
#define ON_WM_RBUTTONDOWN() AFX_MSG_ENTRY(WM_RBUTTONDOWN, Mouse, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_MSG_ENTRY(WM_RBUTTONUP, Mouse, OnRButtonUp)
#define ON_WM_MOUSEMOVE() AFX_MSG_ENTRY(WM_MOUSEMOVE, Mouse, OnMouseMove)
#define ON_MESSAGE(msg, memberFxn) AFX_MSG_ENTRY(msg, Message, memberFxn)
#define ON_WM_MOUSEHOVER() AFX_MSG_ENTRY(WM_MOUSEHOVER, Mouse, OnMouseHover)
#define ON_WM_MOUSELEAVE() AFX_MSG_ENTRY(WM_MOUSELEAVE, Void, OnMouseLeave)
#define ON_COMMAND(id, memberFxn) { WM_COMMAND, id, &afx_crack::Command<&memberFxn> },

// ---------------------------------------------------------------------------

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Finds the handler for a message (or, for WM_COMMAND, the command id)
    // in this class's map or a base class's.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT commandId) const;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CWnd : public CCmdTarget {
public:
    // Insert-after values for SetWindowPos, as window objects.
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

    HWND m_hWnd = nullptr;

    CWnd() = default;

    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    // Centres the window over its owner (or its monitor's work area), kept
    // inside that work area.
    void CenterWindow();

    // Hands the message being handled to the window's original procedure.
    LRESULT Default();

protected:
    explicit CWnd(HWND hwnd)
        : m_hWnd(hwnd)
    {
    }

    afx_msg void OnDestroy() { Default(); }

    // Routes the window's messages through the message map from now on.
    void SubclassWindow(HWND hwnd);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_superProc = nullptr;
    MSG m_currentMsg = {};
};

struct CDataExchange {
    BOOL m_bSaveAndValidate;
};

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);

    INT_PTR DoModal();

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange* dx);
    BOOL UpdateData(BOOL saveAndValidate);

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CenterIfNotPlaced(const RECT& before, LONG styleBefore);

    UINT m_templateId;
    CWnd* m_parent;
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    char m_appName[MAX_PATH] = {};
    char m_registryKey[MAX_PATH] = {};
    UINT m_maxRecentFiles = 0;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    void SetRegistryKey(LPCSTR companyName);
    void LoadStdProfileSettings(UINT maxRecentFiles);
    BOOL Enable3dControls();

    afx_msg void OnHelp() { }
};

// ---------------------------------------------------------------------------
// GDI owners. An explicit delete empties the owner, so destruction afterwards
// frees nothing twice.

class CDC {
public:
    BOOL CreateCompatibleDC(CDC* reference);
    BOOL DeleteDC();
    HDC GetSafeHdc() const { return m_dc.get(); }
    operator HDC() const { return m_dc.get(); }

private:
    win32::UniqueMemoryDC m_dc;
};

class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    ~CPaintDC();
    operator HDC() const { return m_hdc; }

    PAINTSTRUCT m_ps = {};

private:
    HWND m_hwnd;
    HDC m_hdc;
};

class CBitmap {
public:
    BOOL CreateBitmapIndirect(const BITMAP* description);
    BOOL DeleteObject();
    HBITMAP GetSafeHandle() const { return m_bitmap.get(); }
    operator HBITMAP() const { return m_bitmap.get(); }

private:
    win32::UniqueBitmap m_bitmap;
};

class CRgn {
public:
    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    int CombineRgn(const CRgn* a, const CRgn* b, int mode);
    void Attach(HRGN region) { m_region.reset(region); }
    HRGN Detach() { return m_region.release(); }
    BOOL DeleteObject();
    HRGN GetSafeHandle() const { return m_region.get(); }
    operator HRGN() const { return m_region.get(); }

private:
    win32::UniqueRgn m_region;
};

// ---------------------------------------------------------------------------

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
void AfxEnableControlContainer(void* manager = nullptr);
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
