// Top-level windows with given titles and states, for tests that watch what
// another program does to them. Every change is recorded in a file.
//   titled_windows WINDOW_LIST RECORD_FILE
// WINDOW_LIST: one window a line, "STATE<TAB>TITLE" in code page 932; STATE is
// normal, minimised, maximised or hidden, optionally followed by
// "+reminimise" (the window minimises itself again whenever it is restored).
// RECORD_FILE is rewritten whole after each change, as
//   ready
//   INDEX HWND STATE activations=N lastact=SEQ restores=N shows=N
//   ...
//   flush=N
// where SEQ orders activations across all windows. A message WM_APP+1 with
// wParam N sets flush=N once everything queued before it has been handled.
// The program ends by itself after two minutes.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr UINT WM_REMINIMISE = WM_APP;
constexpr UINT WM_FLUSH = WM_APP + 1;
constexpr UINT_PTR LIFETIME_TIMER = 1;
constexpr UINT LIFETIME_MS = 120000;

struct TitledWindow {
    HWND hwnd = nullptr;
    std::string initialState;
    std::string title;
    bool reminimise = false;
    const char* state = "hidden";
    int activations = 0;
    int lastActivation = 0;
    int restores = 0;
    int shows = 0;
};

std::vector<TitledWindow> g_windows;
std::string g_recordPath;
bool g_ready = false;
int g_sequence = 0;
WPARAM g_flush = 0;

TitledWindow* Find(HWND hwnd)
{
    for (TitledWindow& window : g_windows) {
        if (window.hwnd == hwnd)
            return &window;
    }
    return nullptr;
}

const char* StateOf(HWND hwnd)
{
    if (!::IsWindowVisible(hwnd))
        return "hidden";
    if (::IsIconic(hwnd))
        return "minimised";
    if (::IsZoomed(hwnd))
        return "maximised";
    return "normal";
}

// Written beside and renamed over, so that a reader never sees half a file.
void WriteRecord()
{
    if (!g_ready)
        return;
    const std::string temporary = g_recordPath + ".new";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return;
    fprintf(file, "ready\n");
    for (size_t i = 0; i < g_windows.size(); ++i) {
        const TitledWindow& w = g_windows[i];
        fprintf(file, "%zu %llx %s activations=%d lastact=%d restores=%d shows=%d\n", i,
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w.hwnd)), w.state, w.activations,
            w.lastActivation, w.restores, w.shows);
    }
    fprintf(file, "flush=%llu\n", static_cast<unsigned long long>(g_flush));
    fclose(file);
    // A reader holding the record open makes the replacement fail for a moment.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::MoveFileExA(temporary.c_str(), g_recordPath.c_str(), MOVEFILE_REPLACE_EXISTING))
            return;
        ::Sleep(10);
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    TitledWindow* window = Find(hwnd);
    switch (message) {
    case WM_ACTIVATE:
        if (window && LOWORD(wParam) != WA_INACTIVE) {
            ++window->activations;
            window->lastActivation = ++g_sequence;
            WriteRecord();
        }
        break;
    case WM_SHOWWINDOW:
        if (window && wParam) {
            ++window->shows;
            WriteRecord();
        }
        break;
    case WM_WINDOWPOSCHANGED:
        if (window) {
            const char* now = StateOf(hwnd);
            if (strcmp(now, window->state) != 0) {
                if (strcmp(now, "normal") == 0) {
                    ++window->restores;
                    if (window->reminimise && g_ready)
                        ::PostMessageA(hwnd, WM_REMINIMISE, 0, 0);
                }
                window->state = now;
                WriteRecord();
            }
        }
        break;
    case WM_REMINIMISE:
        ::ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
        return 0;
    case WM_FLUSH:
        g_flush = wParam;
        WriteRecord();
        return 0;
    case WM_TIMER:
        if (wParam == LIFETIME_TIMER)
            ::PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

std::string ReadFileBytes(const char* path)
{
    std::string bytes;
    FILE* file = fopen(path, "rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
}

bool ParseWindowList(const std::string& text)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return false;
        TitledWindow window;
        window.initialState = line.substr(0, tab);
        window.title = line.substr(tab + 1);
        const size_t plus = window.initialState.find("+reminimise");
        if (plus != std::string::npos) {
            window.reminimise = true;
            window.initialState.erase(plus);
        }
        g_windows.push_back(window);
    }
    return !g_windows.empty();
}

int ShowCommandFor(const std::string& state)
{
    if (state == "minimised")
        return SW_SHOWMINNOACTIVE;
    if (state == "maximised")
        return SW_SHOWMAXIMIZED;
    if (state == "normal")
        return SW_SHOWNOACTIVATE;
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || !ParseWindowList(ReadFileBytes(argv[1])))
        return 1;
    g_recordPath = argv[2];

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TitledWindow";
    if (!::RegisterClassA(&windowClass))
        return 1;

    for (size_t i = 0; i < g_windows.size(); ++i) {
        TitledWindow& window = g_windows[i];
        const int offset = static_cast<int>(i) * 30;
        window.hwnd = ::CreateWindowExA(0, "TitledWindow", window.title.c_str(), WS_OVERLAPPEDWINDOW, 500 + offset,
            300 + offset, 320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (!window.hwnd)
            return 1;
        const int show = ShowCommandFor(window.initialState);
        if (show >= 0)
            ::ShowWindow(window.hwnd, show);
    }
    // What happened while setting up is not the test's business.
    for (TitledWindow& window : g_windows) {
        window.state = StateOf(window.hwnd);
        window.activations = 0;
        window.lastActivation = 0;
        window.restores = 0;
        window.shows = 0;
    }
    g_ready = true;
    WriteRecord();
    ::SetTimer(g_windows.front().hwnd, LIFETIME_TIMER, LIFETIME_MS, nullptr);

    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}
