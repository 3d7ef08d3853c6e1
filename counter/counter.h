// The shared new-mail count: one signed 32-bit value in a named section on
// the paging file, every access serialised by a named mutex.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "win32/handles.h"
#include "win32/locks.h"

constexpr DWORD COUNTER_WAIT_MS = 10000;
constexpr char COUNTER_SECTION_NAME[] = "olooknewmailcount";
constexpr char COUNTER_MUTEX_NAME[] = "olooknewmailntfy";

// Creates the named mutex under its security descriptor (Everyone: all but
// changing the access list or owner), or opens it. Null on failure; the
// caller closes the handle.
HANDLE OpenCounterMutex(BOOL initialOwner, LPCSTR name);

// Fills `descriptor` with a DACL that lets Authenticated Users read, write and
// execute. Returns the heap ACL the descriptor points to, or null.
PACL BuildSectionSecurity(PSECURITY_DESCRIPTOR descriptor);
void FreeSectionSecurity(PACL acl);

// The count, or 0 when it cannot be read. Never creates the section.
int32_t ReadMailCount();

// Stores the count, creating the section when absent. 0 when the lock is not
// obtained or a section it had to create cannot be mapped, else 1.
BOOL WriteMailCount(int32_t value);

// One hold of the counter mutex, for a read and a write that must not be
// split (an increment). A wait that ends abandoned still hands the lock over.
class CounterLock {
public:
    CounterLock();
    CounterLock(const CounterLock&) = delete;
    CounterLock& operator=(const CounterLock&) = delete;
    bool held() const { return m_hold.held(); }

private:
    win32::UniqueHandle m_mutex;
    win32::MutexHold m_hold; // released before the handle closes
};

// The accesses themselves, for a caller that holds a CounterLock.
int32_t ReadCountLocked();
BOOL WriteCountLocked(int32_t value);

// Adds `delta` under one hold of the lock. FALSE when the lock was not
// obtained or the sum could not be stored; `*total` gets the stored sum.
BOOL AddToMailCount(int32_t delta, int32_t* total);

// Keeps the section (creating it zero-filled when absent) for the life of the
// process, without touching the count, so that values stored by short-lived
// processes outlive them while a notifier runs.
void HoldCounterSection();

// The notifier reads the count on every animation tick: it keeps the counter
// mutex and one view of the section open for its life, so a read is one hold
// of the lock and nothing else. Reads as ReadMailCount does.
class MailCountReader {
public:
    // Maps the section when it exists (a notifier holds it first).
    MailCountReader();
    MailCountReader(const MailCountReader&) = delete;
    MailCountReader& operator=(const MailCountReader&) = delete;

    int32_t Read();

private:
    win32::UniqueHandle m_mutex;
    win32::UniqueHandle m_section;
    win32::UniqueFileView m_view;
};
