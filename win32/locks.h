// Lock guards: each hold remembers what its release needs.
#pragma once

#include <windows.h>

namespace win32 {

// A critical section for the life of its owner.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { ::DeleteCriticalSection(&m_section); }
    CRITICAL_SECTION* get() noexcept { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

// One hold of a critical section for a scope.
class SectionHold {
public:
    explicit SectionHold(CriticalSection& section) noexcept
        : m_section(section.get())
    {
        ::EnterCriticalSection(m_section);
    }
    SectionHold(const SectionHold&) = delete;
    SectionHold& operator=(const SectionHold&) = delete;
    ~SectionHold() { ::LeaveCriticalSection(m_section); }

private:
    CRITICAL_SECTION* m_section;
};

// One wait for a mutex, released on scope exit when it was obtained. A wait
// that ends abandoned hands the mutex over all the same: its last holder died.
class MutexHold {
public:
    MutexHold(HANDLE mutex, DWORD timeoutMs) noexcept
        : m_mutex(mutex)
    {
        const DWORD wait = ::WaitForSingleObject(mutex, timeoutMs);
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    ~MutexHold()
    {
        if (m_held)
            ::ReleaseMutex(m_mutex);
    }
    bool held() const noexcept { return m_held; }

private:
    HANDLE m_mutex;
    bool m_held = false;
};

} // namespace win32
