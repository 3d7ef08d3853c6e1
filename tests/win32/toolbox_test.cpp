// The Win32 toolbox under Wine: owners close exactly what they own, and each
// scoped borrow gives back to the object it came from.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "watch/shell/watch_log.h"
#include "win32/error_text.h"
#include "win32/handles.h"
#include "win32/locks.h"
#include "win32/module_path.h"
#include "win32/scoped_gdi.h"

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Runs `probe` on another thread and gives its answer: a lock held by this
// thread is only seen as held from another.
template <typename Probe> bool OnOtherThread(Probe probe)
{
    struct Call {
        Probe probe;
        bool answer;
    } call { probe, false };
    const win32::UniqueHandle thread(::CreateThread(
        nullptr, 0,
        [](void* data) -> DWORD {
            auto* c = static_cast<Call*>(data);
            c->answer = c->probe();
            return 0;
        },
        &call, 0, nullptr));
    ::WaitForSingleObject(thread.get(), INFINITE);
    return call.answer;
}

} // namespace

TEST(Win32Owners, CloseWhatTheyHoldOnceAndKnowTheirEmptyValue)
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "larkbell-toolbox-test.tmp";
    ::DeleteFileA(path.c_str());
    const auto open = [&path](DWORD disposition) {
        return win32::UniqueFile(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    };
    EXPECT_FALSE(open(OPEN_EXISTING));
    HANDLE raw;
    {
        const win32::UniqueFile created = open(CREATE_ALWAYS);
        raw = created.get();
        EXPECT_TRUE(created);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    win32::UniqueHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const HANDLE first = event.get();
    win32::UniqueHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_TRUE(IsOpen(first));
    // An out-parameter slot closes what was held before it is filled.
    HANDLE* slot = moved.put();
    EXPECT_FALSE(IsOpen(first));
    EXPECT_EQ(*slot, nullptr);
    *slot = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE second = moved.release();
    EXPECT_TRUE(IsOpen(second));
    ::CloseHandle(second);
}

TEST(Win32Borrows, GiveBackToWhereTheyCameFrom)
{
    const win32::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    const HGDIOBJ original = ::GetCurrentObject(dc.get(), OBJ_FONT);
    const win32::UniqueFont font(::CreateFontA(20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    {
        const win32::ObjectSelection selection(dc.get(), font.get());
        EXPECT_EQ(selection.previous(), original);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_FONT), font.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_FONT), original);

    const HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    {
        const win32::WindowDC windowDC(window);
        EXPECT_EQ(::WindowFromDC(windowDC.get()), window);
    }
    ::DestroyWindow(window);

    win32::CriticalSection section;
    const auto free = [&section] {
        const bool entered = ::TryEnterCriticalSection(section.get()) != FALSE;
        if (entered)
            ::LeaveCriticalSection(section.get());
        return entered;
    };
    {
        const win32::SectionHold hold(section);
        EXPECT_FALSE(OnOtherThread(free));
    }
    EXPECT_TRUE(OnOtherThread(free));

    const win32::UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, nullptr));
    const auto mutexFree = [&mutex] {
        const bool taken = ::WaitForSingleObject(mutex.get(), 0) == WAIT_OBJECT_0;
        if (taken)
            ::ReleaseMutex(mutex.get());
        return taken;
    };
    {
        const win32::MutexHold hold(mutex.get(), 0);
        EXPECT_TRUE(hold.held());
        EXPECT_FALSE(OnOtherThread(mutexFree));
    }
    EXPECT_TRUE(OnOtherThread(mutexFree));
    EXPECT_FALSE(win32::MutexHold(nullptr, 0).held());
}

TEST(Win32Text, ErrorTextAndTheExecutablesSiblings)
{
    EXPECT_EQ(win32::ErrorText("cannot open", "C:\\a b.ini", 5), "cannot open C:\\a b.ini (error 5)");
    EXPECT_EQ(win32::ErrorText("CreateProcess failed", {}, 2), "CreateProcess failed (error 2)");
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win32::ErrorText("x"), "x (error 2)");

    const std::string module = win32::ModulePath();
    const std::string folder = module.substr(0, module.find_last_of('\\') + 1);
    EXPECT_EQ(win32::ModuleFolderPath("larkbell.ini"), folder + "larkbell.ini");
    EXPECT_EQ(win32::ModuleSiblingPath("ini"), folder + "win32_tests.ini");
}

// Each part of a log line is cut after 2,000 bytes of UTF-8, never inside a
// character, and the cut is marked; the file holds code page 932.
TEST(WatchLog, CutsEachPartAfter2000Bytes)
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "larkbell-toolbox-test.log";
    ::DeleteFileA(path.c_str());
    const std::string x1997(1997, 'x'), day = "\xE6\x97\xA5", day932 = "\x93\xFA"; // 日
    const struct {
        std::string where, text, written;
    } cases[] = {
        { std::string(2000, 'w'), "t", "[" + std::string(2000, 'w') + "] t" },
        { std::string(2001, 'w'), "t", "[" + std::string(2000, 'w') + "...] t" },
        { "w", x1997 + "xyz", "[w] " + x1997 + "xyz" },
        { "w", x1997 + "xyz!", "[w] " + x1997 + "xyz..." },
        { "w", x1997 + day, "[w] " + x1997 + day932 },
        { "w", x1997 + "x" + day, "[w] " + x1997 + "x..." },
        { "w", x1997 + "xx" + day, "[w] " + x1997 + "xx..." },
    };
    for (const auto& c : cases) {
        {
            mail::WatchLog log(path);
            log.Write(c.where, c.text);
        }
        const win32::UniqueFile file(
            ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        std::string line(8192, '\0');
        DWORD read = 0;
        ::ReadFile(file.get(), &line[0], static_cast<DWORD>(line.size()), &read, nullptr);
        line.resize(read);
        EXPECT_EQ(line.substr(line.find('[')), c.written + "\r\n") << c.text.substr(c.text.size() - 3);
    }
}
