// The one Windows helper of the end-to-end tests: it prints what only the
// Win32 API can see (windows, regions, z-order, named objects, GDI handles)
// and plays the other programs a scenario needs. One command a run:
//   windows EXE [hidden]        each visible (or hidden) top-level window of processes named EXE,
//                               then its children, and the rows of a list view
//   watch HWND MS [CHANGES]     the window's shape and place each time they change
//   post HWND MSG [WPARAM]      posts a message
//   move HWND X Y               moves a window
//   count                       the count and which named objects exist
//   hold-lock RELEASE_FILE|-    takes the counter lock; releases it once the file
//                               exists, or with "-" exits still holding it
//   hold-section                keeps the count's section alive until ended
//   security                    access lists of the named objects and of fresh ones
//   gdi PID                     live GDI objects of PID (Wine keeps the table in the process)
//   cover HWND                  a top-most window over HWND; how often HWND is back on top
//   render FACE SIZE RGB TEXT W H    the count as drawn in a W x H box, as rows of '#'
//   titled LIST                 top-level windows "STATE<TAB>TITLE" for the notifier to match
//   fullscreen RELEASE_FILE     a borderless window over the whole screen, in the foreground,
//                               until the file exists
// It sees the screen in pixels whatever the DPI.
#include <windows.h>

#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "counter/counter.h"

namespace {

HWND ParseHwnd(const char* text) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(text, nullptr, 16))); }

bool Exists(const char* path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// A line the test waits for: out at once.
void Say(const char* line)
{
    printf("%s\n", line);
    fflush(stdout);
}

void Pump()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageA(&message);
}

// A window of a class of its own; registering the class again fails harmlessly.
HWND MakeWindow(const char* className, HBRUSH brush, DWORD exStyle, const char* title, DWORD style, RECT r)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &::DefWindowProcA;
    windowClass.hbrBackground = brush;
    windowClass.lpszClassName = className;
    ::RegisterClassA(&windowClass);
    return ::CreateWindowExA(exStyle, className, title, style, r.left, r.top, r.right - r.left, r.bottom - r.top,
        nullptr, nullptr, nullptr, nullptr);
}

// The shape as one number: the merged runs of each row, so that any split of
// the same pixels into rectangles hashes alike (tests/e2e/rig.py does the same).
unsigned long long ShapeHash(HWND window)
{
    const HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    std::vector<BYTE> data;
    if (::GetWindowRgn(window, region) != ERROR)
        data.resize(::GetRegionData(region, 0, nullptr));
    if (data.empty()
        || !::GetRegionData(region, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data()))) {
        ::DeleteObject(region);
        return 0;
    }
    ::DeleteObject(region);
    const auto* header = reinterpret_cast<const RGNDATA*>(data.data());
    const auto* rects = reinterpret_cast<const RECT*>(header->Buffer);
    std::vector<std::vector<std::pair<long, long>>> rows;
    for (DWORD i = 0; i < header->rdh.nCount; ++i)
        for (long y = rects[i].top; y < rects[i].bottom; ++y) {
            if (rows.size() <= static_cast<size_t>(y))
                rows.resize(y + 1);
            rows[y].push_back({ rects[i].left, rects[i].right });
        }
    unsigned long long hash = 1;
    for (size_t y = 0; y < rows.size(); ++y) {
        std::sort(rows[y].begin(), rows[y].end());
        for (size_t i = 0; i < rows[y].size(); ++i) {
            long right = rows[y][i].second;
            while (i + 1 < rows[y].size() && rows[y][i + 1].first <= right)
                right = std::max(right, rows[y][++i].second);
            for (long v : { static_cast<long>(y), rows[y][i].first, right })
                hash = hash * 1000003 + static_cast<unsigned long long>(v);
        }
    }
    return hash;
}

// A list view's rows, "  row N: CELL<TAB>CELL...". Its items live in the
// other process: they are read through a buffer there.
void PrintListRows(HWND list)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(list, &pid);
    const HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    constexpr int kTextBytes = 1024;
    auto* remote = process ? static_cast<char*>(
                       ::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextBytes, MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
    const int rows = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    const auto header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    for (int row = 0; remote && row < rows; ++row) {
        printf("  row %d:", row);
        for (int column = 0; column < columns; ++column) {
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = remote + sizeof item;
            item.cchTextMax = kTextBytes;
            char text[kTextBytes] = {};
            SIZE_T done = 0;
            ::WriteProcessMemory(process, remote, &item, sizeof item, &done);
            ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote));
            ::ReadProcessMemory(process, remote + sizeof item, text, kTextBytes - 1, &done);
            printf("%s%s", column ? "\t" : " ", text);
        }
        printf("\n");
    }
    if (remote)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process)
        ::CloseHandle(process);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    char name[64] = {}, text[256] = {};
    ::GetClassNameA(child, name, sizeof name);
    ::GetWindowTextA(child, text, sizeof text);
    RECT r = {};
    ::GetWindowRect(child, &r);
    printf("  child class=%s id=%d style=%lx icon=%d centre=%ld,%ld text=%s\n", name, ::GetDlgCtrlID(child),
        ::GetWindowLongA(child, GWL_STYLE), ::SendMessageA(child, STM_GETICON, 0, 0) != 0, (r.left + r.right) / 2,
        (r.top + r.bottom) / 2, text);
    if (strcmp(name, WC_LISTVIEWA) == 0)
        PrintListRows(child);
    return TRUE;
}

std::vector<DWORD> ProcessesNamed(const char* exe)
{
    std::vector<DWORD> pids;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, exe) == 0)
            pids.push_back(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    return pids;
}

struct WindowQuery {
    std::vector<DWORD> pids;
    bool visible;
};

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM context)
{
    const auto* query = reinterpret_cast<const WindowQuery*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (std::find(query->pids.begin(), query->pids.end(), owner) == query->pids.end()
        || (::IsWindowVisible(window) != FALSE) != query->visible)
        return TRUE;
    char name[64] = {}, title[512] = {};
    ::GetClassNameA(window, name, sizeof name);
    ::GetWindowTextA(window, title, sizeof title);
    RECT r = {};
    ::GetWindowRect(window, &r);
    BYTE alpha = 0;
    DWORD flags = 0;
    const BOOL layered = ::GetLayeredWindowAttributes(window, nullptr, &alpha, &flags);
    printf(
        "hwnd=%llx pid=%lu class=%s rect=%ld,%ld,%ld,%ld style=%lx ex=%lx alpha=%d lwa=%lx enabled=%d fg=%d shape=%llx "
        "title=%s\n",
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), owner, name, r.left, r.top, r.right,
        r.bottom, ::GetWindowLongA(window, GWL_STYLE), ::GetWindowLongA(window, GWL_EXSTYLE), layered ? alpha : -1,
        layered ? flags : 0, ::IsWindowEnabled(window), ::GetForegroundWindow() == window, ShapeHash(window), title);
    ::EnumChildWindows(window, &PrintChild, 0);
    return TRUE;
}

int Watch(HWND window, DWORD ms, size_t changes)
{
    const ULONGLONG start = ::GetTickCount64();
    std::string last;
    size_t seen = 0;
    while (::IsWindow(window) && ::GetTickCount64() - start < ms && seen <= changes) {
        RECT r = {};
        ::GetWindowRect(window, &r);
        char now[80];
        snprintf(now, sizeof now, "%llx %ld %ld", ShapeHash(window), r.left, r.top);
        if (last != now) {
            printf("%llu %s\n", ::GetTickCount64() - start, now);
            fflush(stdout);
            last = now;
            ++seen;
        }
        ::Sleep(2);
    }
    return 0;
}

void PrintDacl(const char* what, HANDLE object)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    if (::GetSecurityInfo(
            object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor)
        == ERROR_SUCCESS)
        ::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    printf("%s %s\n", what, text ? text : "unreadable");
}

int Security()
{
    const HANDLE mutex = ::OpenMutexA(READ_CONTROL, FALSE, COUNTER_MUTEX_NAME);
    const HANDLE section = ::OpenFileMappingA(READ_CONTROL, FALSE, COUNTER_SECTION_NAME);
    PrintDacl("mutex", mutex);
    PrintDacl("section", section);
    SECURITY_DESCRIPTOR descriptor;
    PACL acl = BuildSectionSecurity(&descriptor);
    PSID owner = &descriptor;
    BOOL defaulted = TRUE;
    ::GetSecurityDescriptorOwner(&descriptor, &owner, &defaulted);
    printf("built-section %d %d\n", acl ? acl->AclSize : -1, owner != nullptr);
    FreeSectionSecurity(acl);

    const std::string name = "probe-mutex-" + std::to_string(::GetCurrentProcessId());
    const HANDLE fresh = OpenCounterMutex(FALSE, name.c_str());
    PrintDacl("fresh-mutex", fresh);
    const BOOL freshOwned = ::ReleaseMutex(fresh);
    const HANDLE owned = OpenCounterMutex(TRUE, (name + "-owned").c_str());
    printf("owned %d %d\n", freshOwned != FALSE, ::ReleaseMutex(owned) != FALSE);

    return 0;
}

// Live entries of the process's GDI handle table (PEB offset 0xF8, 24-byte
// entries, type byte 0 when free); the quietest of ten readings.
int GdiObjects(DWORD pid)
{
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        UINT64 user;
    };
    using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll"), "NtQueryInformationProcess")));
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    ULONG_PTR basic[6] = {};
    void* table = nullptr;
    SIZE_T read = 0;
    if (!process || query(process, 0, basic, sizeof basic, nullptr) != 0
        || !::ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic[1]) + 0xF8, &table, sizeof table, &read))
        return 2;
    std::vector<Entry> entries(0x10000);
    int quietest = -1;
    for (int reading = 0; reading < 10; ++reading, ::Sleep(15)) {
        if (!::ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(Entry), &read))
            return 2;
        const int live = static_cast<int>(
            std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.type != 0; }));
        quietest = quietest < 0 ? live : std::min(quietest, live);
    }
    printf("gdi=%d\n", quietest);
    return 0;
}

// Lays a top-most window over `target` and samples, over the third second,
// whether `target` stands above it again.
int Cover(HWND target)
{
    RECT r = {};
    ::GetWindowRect(target, &r);
    const HWND cover = MakeWindow("probe_cover", static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)),
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "cover", WS_POPUP | WS_VISIBLE, r);
    const auto targetAbove = [&] {
        for (HWND next = ::GetWindow(target, GW_HWNDNEXT); next; next = ::GetWindow(next, GW_HWNDNEXT))
            if (next == cover)
                return true;
        return false;
    };
    int tries = 0;
    while (targetAbove() && tries++ < 50)
        ::SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    printf("covered=%d\n", !targetAbove());
    const ULONGLONG start = ::GetTickCount64();
    int samples = 0, above = 0;
    for (ULONGLONG now = 0; now < 3000; now = ::GetTickCount64() - start) {
        Pump();
        if (now >= 2000) {
            ++samples;
            above += targetAbove() ? 1 : 0;
        }
        ::Sleep(10);
    }
    printf("samples=%d above=%d\n", samples, above);
    return 0;
}

int Render(const char* face, int size, const char* rgb, const char* text, int width, int height)
{
    const COLORREF colour = strtoul(rgb, nullptr, 16);
    const HDC dc = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = { sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0 };
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::SelectObject(dc, bitmap);
    const HFONT font = ::CreateFontA(size, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, face);
    ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colour);
    RECT box = { 0, 0, width, height };
    ::DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    ::GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    const DWORD wanted = RGB(GetBValue(colour), GetGValue(colour), GetRValue(colour));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            putchar((pixels[y * width + x] & 0xFFFFFF) == wanted ? '#' : '.');
        putchar('\n');
    }
    return 0;
}

// Windows of another program whose titles the notifier may match: "STATE<TAB>TITLE"
// lines, STATE normal, minimised, maximised or hidden. Prints their handles in
// order, then runs for two minutes.
int TitledWindows(const char* list)
{
    FILE* file = fopen(list, "rb");
    char line[1024];
    for (int i = 0; file && fgets(line, sizeof line, file); ++i) {
        line[strcspn(line, "\r\n")] = '\0';
        char* title = strchr(line, '\t');
        *title++ = '\0';
        const HWND hwnd = MakeWindow("TitledWindow", reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), 0, title,
            WS_OVERLAPPEDWINDOW, { 500 + i * 30, 300 + i * 30, 820 + i * 30, 500 + i * 30 });
        const std::string state = line;
        ::ShowWindow(hwnd,
            state == "minimised"       ? SW_SHOWMINNOACTIVE
                : state == "maximised" ? SW_SHOWMAXIMIZED
                : state == "normal"    ? SW_SHOWNOACTIVATE
                                       : SW_HIDE);
        printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    }
    Say("ready");
    ::SetTimer(nullptr, 0, 120000, nullptr);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER)
        ::DispatchMessageA(&message);
    return 0;
}

// Full-screen work: a game or a slide show as the notifier sees it.
int FullScreen(const char* releaseFile)
{
    const HWND window
        = MakeWindow("probe_fullscreen", static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)), 0, "fullscreen",
            WS_POPUP | WS_VISIBLE, { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) });
    ::SetForegroundWindow(window);
    Say("ready");
    for (; !Exists(releaseFile); ::Sleep(10))
        Pump();
    ::DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::SetProcessDPIAware();
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "windows" && (argc == 3 || argc == 4)) {
        const WindowQuery query = { ProcessesNamed(argv[2]), argc == 3 };
        return !::EnumWindows(&PrintTopLevel, reinterpret_cast<LPARAM>(&query));
    }
    if (command == "watch" && argc >= 4)
        return Watch(ParseHwnd(argv[2]), strtoul(argv[3], nullptr, 10), argc > 4 ? atoi(argv[4]) : SIZE_MAX);
    if (command == "post" && argc >= 4)
        return !::PostMessageA(
            ParseHwnd(argv[2]), strtoul(argv[3], nullptr, 0), argc > 4 ? strtoull(argv[4], nullptr, 0) : 0, 0);
    if (command == "move" && argc == 5)
        return !::SetWindowPos(ParseHwnd(argv[2]), nullptr, atoi(argv[3]), atoi(argv[4]), 0, 0,
            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (command == "count") {
        // Read without the lock (one aligned 32-bit value), so that a held lock does not hold up the tests.
        const HANDLE section = ::OpenFileMappingA(FILE_MAP_READ, FALSE, COUNTER_SECTION_NAME);
        const void* view = section ? ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, sizeof(int32_t)) : nullptr;
        const HANDLE instance = ::OpenMutexA(SYNCHRONIZE, FALSE, "larkbell_mutex");
        printf("count=%d section=%d instance=%d\n", view ? *static_cast<const volatile int32_t*>(view) : 0,
            section != nullptr, instance != nullptr);
        return 0;
    }
    if (command == "hold-lock" && argc == 3) {
        // The mutex as its creator made it, when one exists (a notifier makes it on each tick).
        HANDLE mutex = nullptr;
        for (int tries = 0; !mutex && tries < 200; ++tries, ::Sleep(10))
            mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, COUNTER_MUTEX_NAME);
        mutex = mutex ? mutex : OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME);
        const DWORD wait = ::WaitForSingleObject(mutex, INFINITE);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
            return 3;
        Say("held");
        if (strcmp(argv[2], "-") == 0)
            return 0; // the thread ends as the owner: the lock is abandoned
        for (; !Exists(argv[2]); ::Sleep(10)) { }
        ::ReleaseMutex(mutex);
        return 0;
    }
    if (command == "hold-section") {
        HoldCounterSection();
        // The lock too, so that one its holder left abandoned is still there to be found so.
        const HANDLE lock = OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME);
        Say(lock ? "holding" : "no lock");
        ::Sleep(INFINITE);
    }
    if (command == "security")
        return Security();
    if (command == "gdi" && argc == 3)
        return GdiObjects(strtoul(argv[2], nullptr, 10));
    if (command == "cover" && argc == 3)
        return Cover(ParseHwnd(argv[2]));
    if (command == "render" && argc == 8)
        return Render(argv[2], atoi(argv[3]), argv[4], argv[5], atoi(argv[6]), atoi(argv[7]));
    if (command == "titled" && argc == 3)
        return TitledWindows(argv[2]);
    if (command == "fullscreen" && argc == 3)
        return FullScreen(argv[2]);
    fprintf(stderr, "probe: unknown command or arguments\n");
    return 1;
}
