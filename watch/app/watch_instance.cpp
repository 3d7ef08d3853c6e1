#include "watch/app/watch_instance.h"

namespace mail {

namespace {

    bool Acquired(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

} // namespace

InstanceHold::InstanceHold()
{
    // Ownership, not existence, says a watcher runs: a --stop that still
    // holds a handle to the mutex must not keep the next watcher out.
    m_mutex.reset(::CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    if (!m_mutex || !Acquired(::WaitForSingleObject(m_mutex.get(), 0)))
        return;
    m_held = true;
    m_stop.reset(::CreateEventA(nullptr, TRUE, FALSE, kStopEventName));
    if (m_stop)
        ::ResetEvent(m_stop.get()); // left signalled by a stop of the previous watcher
    else
        m_held = false;
}

InstanceHold::~InstanceHold()
{
    // The stop event goes first: a --stop that sees the mutex free must find
    // no event of this watcher either.
    m_stop.reset();
    if (m_held)
        ::ReleaseMutex(m_mutex.get());
}

// Only the watcher that holds the mutex makes the stop event, and it goes
// with that watcher's last handle, a crash included. Waiting on the mutex
// instead could keep a watcher that is just starting out.
bool WatcherRunning()
{
    const win32::UniqueHandle stop(::OpenEventA(SYNCHRONIZE, FALSE, kStopEventName));
    return stop.valid();
}

StopOutcome RequestStop()
{
    const win32::UniqueHandle stop(::OpenEventA(EVENT_MODIFY_STATE, FALSE, kStopEventName));
    const win32::UniqueHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutexName));
    if (!stop || !mutex)
        return StopOutcome::NoneRunning;
    ::SetEvent(stop.get());
    const DWORD wait = ::WaitForSingleObject(mutex.get(), kStopWaitMs);
    if (!Acquired(wait))
        return StopOutcome::DidNotStop;
    ::ReleaseMutex(mutex.get());
    return StopOutcome::Stopped;
}

} // namespace mail
