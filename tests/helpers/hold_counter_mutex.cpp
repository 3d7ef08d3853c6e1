// Takes the shared counter's lock as any other process would and keeps it.
//   hold_counter_mutex READY_EVENT RELEASE_EVENT
//   hold_counter_mutex READY_EVENT -
// Sets READY_EVENT once it holds the lock. With a release event it releases
// the lock when that event is set; with "-" it exits still holding it, so the
// lock is abandoned. Exit code 0, or 2 on bad arguments, 3 without the lock.
#include <windows.h>

#include <string.h>

#include "counter.h"
#include "unique_any.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const fw::UniqueHandle mutex(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME));
    const DWORD wait = ::WaitForSingleObject(mutex.get(), INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return 3;

    const fw::UniqueHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]));
    ::SetEvent(ready.get());
    if (strcmp(argv[2], "-") == 0)
        return 0; // the thread ends as the owner: the lock is abandoned

    const fw::UniqueHandle release(::OpenEventA(SYNCHRONIZE, FALSE, argv[2]));
    ::WaitForSingleObject(release.get(), INFINITE);
    ::ReleaseMutex(mutex.get());
    return 0;
}
