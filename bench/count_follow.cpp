// Follows the shared new-mail count for the watcher benchmark: polls it every
// 10 ms and writes one line per change, "UNIX_MS COUNT", with the wall clock
// so that a Linux-side script can set it against the moment it delivered.
//   count_follow SECONDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "counter/counter.h"

namespace {

// Milliseconds since 1970 from the precise system clock (Linux's own under Wine).
double UnixMs()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const ULONGLONG kEpochDifference = 116444736000000000ULL; // 1601 to 1970 in 100 ns
    return static_cast<double>(ticks - kEpochDifference) / 10000.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: count_follow SECONDS\n");
        return 2;
    }
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(atoi(argv[1])) * 1000;
    int32_t last = ReadMailCount();
    printf("%.1f %ld\n", UnixMs(), static_cast<long>(last));
    fflush(stdout);
    while (::GetTickCount64() < end) {
        ::Sleep(10);
        const int32_t count = ReadMailCount();
        if (count != last) {
            printf("%.1f %ld\n", UnixMs(), static_cast<long>(count));
            fflush(stdout);
            last = count;
        }
    }
    return 0;
}
