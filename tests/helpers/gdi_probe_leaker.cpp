// A process that leaks GDI regions on cue, so that tests can show their way
// of counting another process's GDI objects does see a leak.
//   gdi_probe_leaker EVENT COUNT
// Prints "waiting", waits for the named event EVENT, creates COUNT regions
// that it never deletes, prints "leaked", then sleeps until it is ended (at
// most two minutes).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: gdi_probe_leaker EVENT COUNT\n");
        return 1;
    }
    const HANDLE cue = ::OpenEventA(SYNCHRONIZE, FALSE, argv[1]);
    if (!cue)
        return 2;
    printf("waiting\n");
    fflush(stdout);
    ::WaitForSingleObject(cue, 120000);
    ::CloseHandle(cue);

    const int count = atoi(argv[2]);
    for (int i = 0; i < count; ++i)
        ::CreateRectRgn(0, 0, i + 1, 1);
    printf("leaked\n");
    fflush(stdout);
    ::Sleep(120000);
    return 0;
}
