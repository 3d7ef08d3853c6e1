// Posts WM_SYSCOMMAND to the visible dialog window of a running process, as a
// system-menu choice would: the popup has no caption to click.
//   post_syscommand EXE_NAME [COMMAND_ID]
// COMMAND_ID defaults to 0x10 (the About item). Exit code 0 when posted,
// 2 when no such window exists (yet), 1 on bad arguments.
#include <windows.h>

#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "unique_any.h"

namespace {

struct Search {
    const char* exeName;
    HWND found;
};

bool IsProcessNamed(DWORD pid, const char* exeName)
{
    const fw::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == pid)
            return _stricmp(entry.szExeFile, exeName) == 0;
    }
    return false;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !::IsWindowVisible(window))
        return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (!IsProcessNamed(pid, search->exeName))
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: post_syscommand EXE_NAME [COMMAND_ID]\n");
        return 1;
    }
    const unsigned long command = argc == 3 ? strtoul(argv[2], nullptr, 0) : 0x10;
    Search search = { argv[1], nullptr };
    ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        fprintf(stderr, "post_syscommand: no visible dialog of %s\n", argv[1]);
        return 2;
    }
    // Posted, not sent: the About box runs its own modal loop and would
    // keep a sender waiting until it is closed.
    ::PostMessageA(search.found, WM_SYSCOMMAND, command, 0);
    return 0;
}
