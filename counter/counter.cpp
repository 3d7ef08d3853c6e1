#include "counter/counter.h"

#include <utility>

#include "counter/count_math.h"

namespace {

// A process that had to create the section keeps it, and the count, alive
// until it exits.
win32::UniqueHandle g_createdSection;

void* MapWholeSection(HANDLE section)
{
    return section ? ::MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0) : nullptr;
}

void StoreCount(void* view, int32_t value) { *static_cast<volatile int32_t*>(view) = value; }

using UniqueSectionAcl = win32::UniqueAny<PACL, FreeSectionSecurity>;

HANDLE CreateCounterSection()
{
    SECURITY_DESCRIPTOR descriptor;
    const UniqueSectionAcl acl(BuildSectionSecurity(&descriptor));
    // Without the ACL the descriptor may not even be initialised: fall back to
    // the process's default security rather than hand over a broken one.
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, acl ? &descriptor : nullptr, FALSE };
    return ::CreateFileMappingA(
        INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(int32_t), COUNTER_SECTION_NAME);
}

} // namespace

HANDLE OpenCounterMutex(BOOL initialOwner, LPCSTR name)
{
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    win32::UniqueSid everyone;
    if (!::AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put()))
        return nullptr;
    const PSID sid = everyone.get();

    const DWORD aclSize = 2 * ::GetLengthSid(sid) + 32;
    const win32::UniqueLocal aclMemory(::LocalAlloc(LPTR, aclSize));
    if (!aclMemory)
        return nullptr;
    PACL acl = static_cast<PACL>(aclMemory.get());

    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION)
        || !::AddAccessDeniedAce(acl, ACL_REVISION, WRITE_DAC | WRITE_OWNER, sid)
        || !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid)
        || !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        return nullptr;

    SECURITY_ATTRIBUTES attributes = { sizeof attributes, &descriptor, FALSE };
    // Creating an existing mutex is refused (its list denies WRITE_DAC), so
    // it is opened instead; when its last holder closed it in between, the
    // open finds nothing and the creation is tried again.
    HANDLE mutex = nullptr;
    for (int attempt = 0; attempt < 8 && !mutex; ++attempt) {
        mutex = ::CreateMutexA(&attributes, initialOwner, name);
        if (!mutex)
            mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, name);
        if (!mutex && ::GetLastError() != ERROR_FILE_NOT_FOUND)
            break;
    }
    return mutex;
}

PACL BuildSectionSecurity(PSECURITY_DESCRIPTOR descriptor)
{
    if (!::InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
        return nullptr;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    win32::UniqueSid authenticatedUsers;
    if (!::AllocateAndInitializeSid(
            &ntAuthority, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, authenticatedUsers.put()))
        return nullptr;
    const PSID sid = authenticatedUsers.get();

    const DWORD aclSize = ::GetLengthSid(sid) + 16;
    UniqueSectionAcl acl(static_cast<PACL>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize)));
    if (acl && ::InitializeAcl(acl.get(), aclSize, ACL_REVISION)
        && ::AddAccessAllowedAce(acl.get(), ACL_REVISION, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE, sid)
        && ::SetSecurityDescriptorDacl(descriptor, TRUE, acl.get(), FALSE))
        return acl.release();
    return nullptr;
}

void FreeSectionSecurity(PACL acl)
{
    if (acl)
        ::HeapFree(::GetProcessHeap(), 0, acl);
}

// An abandoned wait means the last holder died; the lock is ours now and the
// count, one aligned 32-bit value, cannot have been half-written.
CounterLock::CounterLock()
    : m_mutex(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME))
    , m_hold(m_mutex.get(), COUNTER_WAIT_MS)
{
}

int32_t ReadCountLocked()
{
    const win32::UniqueHandle section(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, COUNTER_SECTION_NAME));
    const win32::UniqueFileView view(MapWholeSection(section.get()));
    return view ? *static_cast<const volatile int32_t*>(view.get()) : 0;
}

BOOL WriteCountLocked(int32_t value)
{
    const win32::UniqueHandle section(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, COUNTER_SECTION_NAME));
    if (section) {
        if (const win32::UniqueFileView view { MapWholeSection(section.get()) })
            StoreCount(view.get(), value);
        return TRUE;
    }
    win32::UniqueHandle created(CreateCounterSection());
    {
        const win32::UniqueFileView view(MapWholeSection(created.get()));
        if (!view)
            return FALSE;
        StoreCount(view.get(), value);
    }
    if (!g_createdSection)
        g_createdSection = std::move(created);
    return TRUE;
}

int32_t ReadMailCount()
{
    const CounterLock lock;
    return lock.held() ? ReadCountLocked() : 0;
}

BOOL WriteMailCount(int32_t value)
{
    const CounterLock lock;
    return lock.held() ? WriteCountLocked(value) : FALSE;
}

BOOL AddToMailCount(int32_t delta, int32_t* total)
{
    const CounterLock lock;
    if (!lock.held())
        return FALSE;
    const int32_t sum = WrapAdd(ReadCountLocked(), delta);
    if (total)
        *total = sum;
    return WriteCountLocked(sum);
}

void HoldCounterSection()
{
    if (g_createdSection)
        return;
    // Opens the section when it exists and creates it zero-filled otherwise;
    // its content is neither read nor written, so no lock is needed.
    g_createdSection.reset(CreateCounterSection());
}

MailCountReader::MailCountReader()
    : m_mutex(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME))
    , m_section(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, COUNTER_SECTION_NAME))
    , m_view(MapWholeSection(m_section.get()))
{
}

int32_t MailCountReader::Read()
{
    if (!m_mutex)
        m_mutex.reset(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME));
    const win32::MutexHold hold(m_mutex.get(), COUNTER_WAIT_MS);
    if (!hold.held())
        return 0;
    // Without a view of its own (no section at the start) it looks the
    // section up by name, as ReadMailCount does.
    return m_view ? *static_cast<const volatile int32_t*>(m_view.get()) : ReadCountLocked();
}
