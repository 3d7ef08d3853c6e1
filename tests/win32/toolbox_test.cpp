// The Win32 toolbox under Wine: owners close exactly what they own, and each
// scoped borrow gives back to the object it came from.
#include <gtest/gtest.h>

#include <windows.h>

#include <limits.h>

#include <string>

#include "notifier/settings_file.h"
#include "preview/recent_section.h"
#include "watch/shell/account_config.h"
#include "watch/shell/charset_converter.h"
#include "watch/shell/refresh_token_store.h"
#include "watch/shell/watch_log.h"
#include "watch/shell/watch_settings.h"
#include "win32/error_text.h"
#include "win32/handles.h"
#include "win32/locks.h"
#include "win32/module_path.h"
#include "win32/scoped_gdi.h"

namespace {

std::string TempPath(const char* name)
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    return temp + std::string(name);
}

void WriteFile(const std::string& path, const std::string& contents)
{
    const win32::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
}

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
    const std::string path = TempPath("larkbell-toolbox-test.tmp");
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
    const std::string path = TempPath("larkbell-toolbox-test.log");
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

// The profile functions cut a long value silently: one that may have been cut
// refuses its account rather than run a shortened command. Section names are
// read up to 1 MiB, and a name cut at that edge is dropped, not watched.
TEST(WindowsLimits, SettingsValuesAndSectionNames)
{
    const std::string path = TempPath("larkbell-limits.ini");
    WriteFile(path,
        "[account:a]\r\ntokencmd=" + std::string(4094, 'x')
            + "\r\n[account:b]\r\nhost=h\r\ntokencmd=" + std::string(4095, 'x') + "\r\n");
    mail::AccountEntry whole, cut;
    ASSERT_TRUE(mail::ReadAccountEntry(path, "a", &whole) && mail::ReadAccountEntry(path, "b", &cut));
    EXPECT_EQ(whole.tokencmd.size(), 4094u);
    EXPECT_EQ(whole.too_long, "");
    EXPECT_EQ(cut.too_long, "tokencmd");
    mail::AccountConfig config;
    std::string why;
    EXPECT_FALSE(mail::MakeAccountConfig(cut, &config, &why));
    EXPECT_EQ(why, "tokencmd is longer than 4094 bytes: account refused");

    // 10,485 names of 100 bytes with their NULs, then the account's name.
    std::string filler;
    for (int i = 0; i < 10485; ++i) {
        char name[16];
        snprintf(name, sizeof name, "[%05d", i);
        filler += name + std::string(94, 's') + "]\r\n";
    }
    for (const size_t names : { 1024 * 1024 - 2, 1024 * 1024 - 1 }) {
        const std::string account(names - 1048500 - 1 - 8, 'n');
        WriteFile(path, filler + "[account:" + account + "]\r\nhost=h\r\n");
        const mail::WatchSettings settings = mail::ReadWatchSettings(path);
        const std::string read = settings.accounts.size() == 1 ? settings.accounts[0].name : "";
        EXPECT_EQ(read, names < 1024 * 1024 - 1 ? account : "") << settings.accounts.size();
    }
    ::DeleteFileA(path.c_str());
}

TEST(WindowsLimits, TokenFileConverterAndRecentSection)
{
    const std::string path = TempPath("larkbell-limits.token");
    for (const size_t size : { 64 * 1024, 64 * 1024 + 1 }) {
        WriteFile(path, std::string(size, 'A'));
        std::string blob, token, why;
        EXPECT_EQ(mail::LoadRefreshToken(path, &blob, &token, &why), mail::StoredToken::Failed);
        EXPECT_EQ(why.find("cannot read"), size > 64 * 1024 ? 0 : std::string::npos) << why.substr(0, 40);
    }
    ::DeleteFileA(path.c_str());

    std::string utf8;
    EXPECT_TRUE(mail::WindowsCharsetConverter().ToUtf8(1252, std::string(64 * 1024, '\xE9'), &utf8));
    EXPECT_EQ(utf8.size(), 128u * 1024);
    EXPECT_FALSE(mail::WindowsCharsetConverter().ToUtf8(1252, std::string(64 * 1024 + 1, '\xE9'), &utf8));

    const preview::RecentSection section(true);
    ASSERT_TRUE(section.valid());
    const std::string full(preview::kRecentPayloadBytes, 'r');
    std::string read;
    EXPECT_TRUE(section.Write(full));
    EXPECT_FALSE(section.Write(full + "r"));
    EXPECT_TRUE(section.Read(&read));
    EXPECT_EQ(read, full);
}

// The popup's fixed settings arrays take what fits and stay terminated.
TEST(WindowsLimits, NotifierSettingsArrays)
{
    const std::string path = TempPath("larkbell-limits-notifier.ini");
    WriteFile(path, "[setting]\r\nwindowname=" + std::string(256, 'w') + "\r\nfont=" + std::string(128, 'f') + "\r\n");
    WritePositionToFile(path.c_str(), INT_MIN, INT_MAX);
    NotifierSettings settings;
    ReadSettingsFile(path.c_str(), &settings);
    EXPECT_EQ(settings.windowName, std::string(255, 'w'));
    EXPECT_EQ(settings.fontFace, std::string(127, 'f'));
    EXPECT_EQ(settings.posX, INT_MIN);
    EXPECT_EQ(settings.posY, INT_MAX);
    ::DeleteFileA(path.c_str());
}
