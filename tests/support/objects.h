// Named kernel objects seen from the tests: the counter lock held by another
// process, events to steer helper programs, and access lists read back from
// objects.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"
#include "unique_any.h"

namespace test {

// `path` in double quotes, for a command line.
std::string Quoted(const std::string& path);

// Process::Start for many processes at once. Wine's process creation now and
// then fails outright (ERROR_INTERNAL_ERROR) under such load; a start that
// failed never ran, so it is tried again.
Process StartOneOfMany(const std::string& commandLine, bool captureOutput = false);

// A manual-reset event under a name of its own, for a helper to open.
class NamedEvent {
public:
    NamedEvent();
    const std::string& name() const { return m_name; }
    void Set() const { ::SetEvent(m_event.get()); }
    bool Wait(DWORD ms) const { return ::WaitForSingleObject(m_event.get(), ms) == WAIT_OBJECT_0; }
    HANDLE handle() const { return m_event.get(); }

private:
    std::string m_name;
    fw::UniqueHandle m_event;
};

// Another process that holds the counter lock "olooknewmailntfy".
class CounterLockHolder {
public:
    enum class Ending {
        Release, // releases the lock when told to
        ExitHolding, // exits still holding it: the lock is abandoned
    };

    explicit CounterLockHolder(Ending ending = Ending::Release);
    CounterLockHolder(const CounterLockHolder&) = delete;
    CounterLockHolder& operator=(const CounterLockHolder&) = delete;
    ~CounterLockHolder();

    // True once the helper holds the lock (the constructor waits for it).
    bool holding() const { return m_holding; }
    const Process& process() const { return m_process; }
    // Lets the helper release the lock; true when it then ended.
    bool Release();
    // Ends the helper while it holds the lock.
    void Terminate() { m_process.Kill(); }

private:
    NamedEvent m_ready;
    NamedEvent m_release;
    Process m_process;
    bool m_holding = false;
};

// Creates "larkbell_mutex" as a running notifier does, so that starts only
// add their number and exit, without a notifier that uses the count itself.
class InstanceMarker {
public:
    InstanceMarker();
    bool valid() const { return m_mutex.valid(); }

private:
    fw::UniqueHandle m_mutex;
};

// One entry of an access list.
struct AceEntry {
    BYTE type; // ACCESS_ALLOWED_ACE_TYPE, ACCESS_DENIED_ACE_TYPE, ...
    DWORD mask;
    std::string sid; // "S-1-1-0"
};
bool operator==(const AceEntry& a, const AceEntry& b);
std::string Describe(const AceEntry& entry);

struct DaclView {
    bool present = false;
    bool defaulted = false;
    WORD aclSize = 0;
    std::vector<AceEntry> entries;
};

// The access list a descriptor holds.
DaclView DaclOf(PSECURITY_DESCRIPTOR descriptor);
// The access list of a kernel object, read back through `object` (a handle
// with READ_CONTROL).
DaclView ObjectDacl(HANDLE object);

} // namespace test
