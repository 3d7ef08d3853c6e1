// The increment path a mail rule pays per message: "larkbell.exe 1" while a
// notifier runs (start, add under the counter mutex, find the notifier, exit),
// timed side by side with the start and exit of an empty Windows program.
// One more start, under the debug API, lists the DLLs the path loads: the
// window and drawing libraries must not be among them.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/loaded_modules.h"
#include "bench/stats.h"
#include "counter/counter.h"
#include "win32/handles.h"
#include "win32/module_path.h"

namespace {

std::string ExeDir()
{
    std::string dir = win32::ModulePath();
    dir.resize(dir.find_last_of('\\'));
    return dir;
}

std::string ParentOf(const std::string& dir) { return dir.substr(0, dir.find_last_of('\\')); }

// Starts `commandLine`; the process handle, or null.
HANDLE Start(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return nullptr;
    ::CloseHandle(info.hThread);
    return info.hProcess;
}

// Milliseconds from starting `commandLine` to its end; negative on failure.
double TimeRun(const std::string& commandLine)
{
    const double start = bench::NowMs();
    const win32::UniqueHandle process(Start(commandLine));
    if (!process || ::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        return -1;
    return bench::NowMs() - start;
}

struct DialogSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char className[16] = {};
    ::GetClassNameA(hwnd, className, sizeof className);
    if (pid == search->pid && strcmp(className, "#32770") == 0 && ::IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialog(DWORD pid)
{
    for (int i = 0; i < 1500; ++i) {
        DialogSearch search = { pid, nullptr };
        ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        ::Sleep(20);
    }
    return nullptr;
}

bool NotifierRunning()
{
    const win32::UniqueHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, "larkbell_mutex"));
    return mutex.valid();
}

// A private folder with the notifier and its skin, so that no settings file
// of the build folder is read or written.
class Folder {
public:
    explicit Folder(const std::string& binDir)
    {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        m_dir = std::string(temp) + "larkbell-bench-" + std::to_string(::GetCurrentProcessId());
        ::CreateDirectoryA(m_dir.c_str(), nullptr);
        ::CopyFileA((binDir + "\\larkbell.exe").c_str(), exe().c_str(), FALSE);
        ::CopyFileA((binDir + "\\larkbell.bmp").c_str(), (m_dir + "\\larkbell.bmp").c_str(), FALSE);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder()
    {
        for (const char* name : { "larkbell.exe", "larkbell.bmp", "larkbell.ini" })
            ::DeleteFileA((m_dir + "\\" + name).c_str());
        ::RemoveDirectoryA(m_dir.c_str());
    }
    std::string exe() const { return m_dir + "\\larkbell.exe"; }

private:
    std::string m_dir;
};

} // namespace

int main(int argc, char** argv)
{
    int rounds = 30;
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--rounds") == 0)
            rounds = atoi(argv[i + 1]);
    if (NotifierRunning()) {
        fprintf(stderr, "a notifier is already running; end it first\n");
        return 1;
    }

    const Folder folder(ParentOf(ExeDir()));
    const std::string increment = "\"" + folder.exe() + "\" 1";
    const std::string empty = "\"" + ExeDir() + "\\empty_program.exe\"";

    const win32::UniqueHandle notifier(Start("\"" + folder.exe() + "\""));
    const HWND dialog = notifier ? WaitForDialog(::GetProcessId(notifier.get())) : nullptr;
    if (!dialog) {
        fprintf(stderr, "the notifier did not show\n");
        return 1;
    }

    // One warm-up start of each, then the rounds, alternating which goes first.
    const int before = ReadMailCount();
    TimeRun(increment);
    TimeRun(empty);
    std::vector<double> incrementTimes, emptyTimes;
    bool failed = false;
    for (int round = 0; round < rounds && !failed; ++round) {
        const bool incrementFirst = round % 2 == 0;
        const double first = TimeRun(incrementFirst ? increment : empty);
        const double second = TimeRun(incrementFirst ? empty : increment);
        failed = first < 0 || second < 0;
        incrementTimes.push_back(incrementFirst ? first : second);
        emptyTimes.push_back(incrementFirst ? second : first);
    }
    const std::vector<std::string> modules = bench::ModulesLoadedBy(increment);
    const int added = ReadMailCount() - before;

    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(notifier.get(), 10000) != WAIT_OBJECT_0)
        ::TerminateProcess(notifier.get(), 1);
    if (failed) {
        fprintf(stderr, "a start failed or hung\n");
        return 1;
    }

    const bench::Spread incrementSpread = bench::Summarise(incrementTimes);
    const bench::Spread emptySpread = bench::Summarise(emptyTimes);
    printf("== Increment path (%d alternating rounds after one warm-up each; count grew by %d, expected %d)\n", rounds,
        added, rounds + 2);
    bench::Report("larkbell.exe 1 with a notifier running", bench::Describe(incrementSpread));
    bench::Report("empty Windows program, start to exit", bench::Describe(emptySpread));
    char ratio[96];
    snprintf(ratio, sizeof ratio, "%.2f x the empty program (median difference %s)",
        incrementSpread.median / emptySpread.median,
        bench::FormatMs(incrementSpread.median - emptySpread.median).c_str());
    bench::Report("increment / empty program", ratio);

    std::string loaded;
    bool gui = false;
    for (const std::string& name : modules) {
        loaded += (loaded.empty() ? "" : " ") + name;
        gui = gui || name == "user32.dll" || name == "gdi32.dll";
    }
    printf("  DLLs the increment path loads: %s\n", modules.empty() ? "(not seen)" : loaded.c_str());
    bench::Report("increment path loads USER32 or GDI32", modules.empty() ? "unknown" : gui ? "YES" : "no");
    return added == rounds + 2 && !modules.empty() && !gui ? 0 : 1;
}
