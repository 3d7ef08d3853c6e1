// The one running watcher: a named mutex says it runs, a named manual-reset
// event asks it to stop.
#pragma once

#include <windows.h>

#include "win32/handles.h"

namespace mail {

constexpr char kInstanceMutexName[] = "larkbellwatch_mutex";
constexpr char kStopEventName[] = "larkbellwatch_stop";

// --stop waits this long for the watcher to end; it ends within 2 s.
constexpr DWORD kStopWaitMs = 5000;

// Held by the running watcher for its whole life.
class InstanceHold {
public:
    InstanceHold();
    InstanceHold(const InstanceHold&) = delete;
    InstanceHold& operator=(const InstanceHold&) = delete;
    ~InstanceHold();

    bool held() const { return m_held; }
    HANDLE stop_event() const { return m_stop.get(); }

private:
    win32::UniqueHandle m_mutex;
    win32::UniqueHandle m_stop;
    bool m_held = false;
};

enum class StopOutcome { Stopped, NoneRunning, DidNotStop };

// Signals the running watcher and waits (bounded) until it is gone.
StopOutcome RequestStop();

// True while a watcher runs (one that died does not).
bool WatcherRunning();

} // namespace mail
