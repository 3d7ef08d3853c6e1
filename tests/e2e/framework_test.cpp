#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "afxwin.h"
#include "harness.h"
#include "resource.h"
#include "scoped_gdi.h"
#include "unique_any.h"

namespace {

// Handles are plain numbers here; every close is recorded.
struct CountingTraits {
    using pointer = int;
    static int invalid() noexcept { return 0; }
    static void close(int handle) noexcept { closed.push_back(handle); }
    static std::vector<int> closed;
};
std::vector<int> CountingTraits::closed;

using Owner = fw::UniqueAny<CountingTraits>;
using Closed = std::vector<int>;

class UniqueAnyTest : public ::testing::Test {
protected:
    void SetUp() override { CountingTraits::closed.clear(); }
};

bool IsDeleted(HGDIOBJ object) { return ::GetObjectType(object) == 0; }

} // namespace

TEST_F(UniqueAnyTest, ClosesWhatItHoldsExactlyOnce)
{
    {
        Owner empty;
        EXPECT_FALSE(empty.valid());
        EXPECT_FALSE(empty);
        empty.reset();
    }
    EXPECT_EQ(CountingTraits::closed, Closed {});

    {
        Owner owner(5);
        EXPECT_TRUE(owner);
        EXPECT_EQ(owner.get(), 5);
        owner.reset(7);
        EXPECT_EQ(CountingTraits::closed, Closed { 5 });
        EXPECT_EQ(owner.get(), 7);
        owner.reset();
        EXPECT_FALSE(owner);
        owner.reset(9);
    }
    EXPECT_EQ(CountingTraits::closed, (Closed { 5, 7, 9 }));
}

TEST_F(UniqueAnyTest, ReleaseHandsOwnershipOn)
{
    int handedOn = 0;
    {
        Owner owner(3);
        handedOn = owner.release();
        EXPECT_FALSE(owner);
        EXPECT_EQ(owner.get(), 0);
    }
    EXPECT_EQ(handedOn, 3);
    EXPECT_EQ(CountingTraits::closed, Closed {});
}

TEST_F(UniqueAnyTest, MovesLeaveTheSourceEmpty)
{
    {
        Owner first(1);
        Owner second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 1);

        Owner third(2);
        third = std::move(second); // 2 is closed, 1 moves over
        EXPECT_EQ(CountingTraits::closed, Closed { 2 });
        EXPECT_FALSE(second);
        EXPECT_EQ(third.get(), 1);

        Owner& alias = third;
        third = std::move(alias); // onto itself: nothing happens
        EXPECT_EQ(third.get(), 1);
        EXPECT_EQ(CountingTraits::closed, Closed { 2 });
    }
    EXPECT_EQ(CountingTraits::closed, (Closed { 2, 1 }));
}

TEST(GdiOwners, RegionDeleteEmptiesTheOwner)
{
    HRGN kept = nullptr;
    {
        CRgn region;
        ASSERT_TRUE(region.CreateRectRgn(0, 0, 10, 10));
        const HRGN first = region;
        EXPECT_EQ(::GetObjectType(first), static_cast<DWORD>(OBJ_REGION));
        // A second creation replaces and deletes the first region.
        ASSERT_TRUE(region.CreateRectRgn(0, 0, 20, 20));
        EXPECT_TRUE(IsDeleted(first));

        const HRGN second = region;
        EXPECT_TRUE(region.DeleteObject());
        EXPECT_EQ(region.GetSafeHandle(), nullptr);
        EXPECT_TRUE(IsDeleted(second));
        EXPECT_FALSE(region.DeleteObject());

        CRgn a;
        CRgn b;
        ASSERT_TRUE(a.CreateRectRgn(0, 0, 10, 10));
        ASSERT_TRUE(b.CreateRectRgn(20, 0, 30, 10));
        ASSERT_TRUE(region.CreateRectRgn(0, 0, 0, 0));
        EXPECT_EQ(region.CombineRgn(&a, &b, RGN_OR), COMPLEXREGION);
        RECT box = {};
        ::GetRgnBox(region, &box);
        EXPECT_EQ(box.right, 30);

        kept = region.Detach();
        EXPECT_EQ(region.GetSafeHandle(), nullptr);
    }
    // What was detached outlives the owner; what was attached does not.
    EXPECT_EQ(::GetObjectType(kept), static_cast<DWORD>(OBJ_REGION));
    {
        CRgn owner;
        owner.Attach(kept);
    }
    EXPECT_TRUE(IsDeleted(kept));
}

TEST(GdiOwners, BitmapAndMemoryDCDeleteOnceEitherWay)
{
    const BITMAP description = { 0, 8, 8, 2, 1, 1, nullptr };
    HBITMAP explicitlyDeleted = nullptr;
    HBITMAP destroyed = nullptr;
    HDC explicitDC = nullptr;
    HDC destroyedDC = nullptr;
    {
        CBitmap first;
        ASSERT_TRUE(first.CreateBitmapIndirect(&description));
        explicitlyDeleted = first;
        EXPECT_EQ(::GetObjectType(explicitlyDeleted), static_cast<DWORD>(OBJ_BITMAP));
        EXPECT_TRUE(first.DeleteObject());
        EXPECT_EQ(first.GetSafeHandle(), nullptr);
        EXPECT_TRUE(IsDeleted(explicitlyDeleted));
        EXPECT_FALSE(first.DeleteObject());

        CBitmap second;
        ASSERT_TRUE(second.CreateBitmapIndirect(&description));
        destroyed = second;

        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        explicitDC = dc;
        EXPECT_EQ(::GetObjectType(explicitDC), static_cast<DWORD>(OBJ_MEMDC));
        EXPECT_TRUE(dc.DeleteDC());
        EXPECT_EQ(dc.GetSafeHdc(), nullptr);
        EXPECT_TRUE(IsDeleted(explicitDC));
        EXPECT_FALSE(dc.DeleteDC());

        CDC other;
        ASSERT_TRUE(other.CreateCompatibleDC(nullptr));
        destroyedDC = other;
    }
    EXPECT_TRUE(IsDeleted(destroyed));
    EXPECT_TRUE(IsDeleted(destroyedDC));
}

TEST(ScopedGdi, ObjectSelectionPutsThePreviousObjectBack)
{
    const fw::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc.valid());
    const HGDIOBJ stockBrush = ::GetCurrentObject(dc.get(), OBJ_BRUSH);
    const HGDIOBJ stockBitmap = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
    const fw::UniqueAny<fw::GdiObjectTraits<HBRUSH>> red(::CreateSolidBrush(RGB(255, 0, 0)));
    const fw::UniqueAny<fw::GdiObjectTraits<HBRUSH>> blue(::CreateSolidBrush(RGB(0, 0, 255)));
    const BITMAP description = { 0, 8, 8, 2, 1, 1, nullptr };
    HBITMAP bitmap = ::CreateBitmapIndirect(&description);
    {
        const fw::ObjectSelection outer(dc.get(), red.get());
        EXPECT_EQ(outer.previous(), stockBrush);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());
        {
            const fw::ObjectSelection inner(dc.get(), blue.get());
            EXPECT_EQ(inner.previous(), red.get());
            EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), blue.get());
        }
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());

        const fw::ObjectSelection strip(dc.get(), bitmap);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap);
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), stockBrush);
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), stockBitmap);
    // Deselected, the bitmap can be deleted.
    EXPECT_TRUE(::DeleteObject(bitmap));

    {
        // A failed selection has nothing to put back.
        const fw::ObjectSelection failed(dc.get(), nullptr);
        EXPECT_EQ(failed.previous(), nullptr);
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), stockBrush);
}

TEST(ScopedGdi, WindowDCIsTheWindowsAndIsGivenBack)
{
    HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HDC borrowed = nullptr;
    {
        const fw::WindowDC dc(window);
        borrowed = dc.get();
        ASSERT_NE(borrowed, nullptr);
        EXPECT_EQ(::WindowFromDC(borrowed), window);
    }
    // A released device context goes back to the cache and is handed out
    // again for the same window; one still in use would not be.
    HDC again = ::GetDC(window);
    EXPECT_EQ(again, borrowed);
    HDC second = ::GetDC(window);
    EXPECT_NE(second, again) << "the cache hands out a busy context twice";
    ::ReleaseDC(window, second);
    ::ReleaseDC(window, again);
    ::DestroyWindow(window);
}

// A dialog on the notifier's template, taken from the executable, with a
// message map of its own and the application's map behind it.
namespace {

constexpr UINT ID_PROBE_COMMAND = 0x7001;
constexpr UINT PROBE_TIMER = 7;

class ProbeApp : public CWinApp {
public:
    int commands = 0;
    afx_msg void OnProbeCommand() { ++commands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeApp, CWinApp)
ON_COMMAND(ID_PROBE_COMMAND, ProbeApp::OnProbeCommand)
END_MESSAGE_MAP()

class ProbeDlg : public CDialog {
public:
    // What the dialog does once it runs: a message to post to itself.
    explicit ProbeDlg(UINT finalMessage, WPARAM finalParam = 0)
        : CDialog(IDD_NOTIFIER, nullptr)
        , m_finalMessage(finalMessage)
        , m_finalParam(finalParam)
    {
    }

    int inits = 0;
    int oks = 0;
    int cancels = 0;
    std::vector<UINT> timers;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ++inits;
        ::SetTimer(m_hWnd, PROBE_TIMER, 10, nullptr);
        return TRUE;
    }
    void OnOK() override
    {
        ++oks;
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        ++cancels;
        CDialog::OnCancel();
    }

    afx_msg void OnTimer(UINT id)
    {
        timers.push_back(id);
        ::KillTimer(m_hWnd, id);
        ::SendMessageA(m_hWnd, WM_COMMAND, ID_PROBE_COMMAND, 0);
        ::PostMessageA(m_hWnd, m_finalMessage, m_finalParam, 0);
        Default();
    }
    DECLARE_MESSAGE_MAP()

private:
    UINT m_finalMessage;
    WPARAM m_finalParam;
};

BEGIN_MESSAGE_MAP(ProbeDlg, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

class DialogRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_image.reset(
            ::LoadLibraryExA((test::ProgramDir() + "\\larkbell.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_image.valid());
        m_app.m_hInstance = static_cast<HINSTANCE>(m_image.get());
    }

    fw::UniqueModule m_image;
    ProbeApp m_app;
};

} // namespace

TEST_F(DialogRun, OkCommandEndsWithIdOk)
{
    ProbeDlg dialog(WM_COMMAND, IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.timers, std::vector<UINT> { PROBE_TIMER });
    // A command the dialog's map leaves goes to the application's.
    EXPECT_EQ(m_app.commands, 1);
    EXPECT_EQ(dialog.oks, 1);
    EXPECT_EQ(dialog.cancels, 0);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(DialogRun, CancelCommandAndCloseEndWithIdCancel)
{
    ProbeDlg cancelled(WM_COMMAND, IDCANCEL);
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.cancels, 1);
    EXPECT_EQ(cancelled.oks, 0);

    // WM_CLOSE is not in the map: the dialog's default course cancels.
    ProbeDlg closed(WM_CLOSE);
    EXPECT_EQ(closed.DoModal(), IDCANCEL);
    EXPECT_EQ(closed.cancels, 1);
    EXPECT_EQ(m_app.commands, 2);
}

TEST_F(DialogRun, MissingTemplateFailsWithoutShowingAnything)
{
    class Missing : public CDialog {
    public:
        Missing()
            : CDialog(4242, nullptr)
        {
        }
    } missing;
    EXPECT_EQ(missing.DoModal(), -1);
}
