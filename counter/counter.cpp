#include "counter.h"

#include <utility>

#include "count_math.h"

namespace {

// A process that had to create the section keeps it, and the count, alive
// until it exits.
fw::UniqueHandle g_createdSection;

void* MapWholeSection(HANDLE section)
{
    return section ? ::MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0) : nullptr;
}

void StoreCount(void* view, int32_t value) { *static_cast<volatile int32_t*>(view) = value; }

// An abandoned wait means the last holder died; the lock is ours now and the
// count, one aligned 32-bit value, cannot have been half-written.
bool WaitForCounterMutex(HANDLE mutex)
{
    const DWORD wait = ::WaitForSingleObject(mutex, COUNTER_WAIT_MS);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

HANDLE CreateCounterSection()
{
    SECURITY_DESCRIPTOR descriptor;
    PACL acl = BuildSectionSecurity(&descriptor);
    // Without the ACL the descriptor may not even be initialised: fall back to
    // the process's default security rather than hand over a broken one.
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, acl ? &descriptor : nullptr, FALSE };
    HANDLE section = ::CreateFileMappingA(
        INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(int32_t), COUNTER_SECTION_NAME);
    FreeSectionSecurity(acl);
    return section;
}

} // namespace

HANDLE OpenCounterMutex(BOOL initialOwner, LPCSTR name)
{
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid))
        return nullptr;
    const fw::UniqueSid everyone(sid);

    const DWORD aclSize = 2 * ::GetLengthSid(sid) + 32;
    const fw::UniqueLocal aclMemory(::LocalAlloc(LPTR, aclSize));
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
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, &sid))
        return nullptr;
    const fw::UniqueSid authenticatedUsers(sid);

    const DWORD aclSize = ::GetLengthSid(sid) + 16;
    PACL acl = static_cast<PACL>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
    if (!acl)
        return nullptr;
    if (::InitializeAcl(acl, aclSize, ACL_REVISION)
        && ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE, sid)
        && ::SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE))
        return acl;
    FreeSectionSecurity(acl);
    return nullptr;
}

void FreeSectionSecurity(PACL acl)
{
    if (acl)
        ::HeapFree(::GetProcessHeap(), 0, acl);
}

CounterLock::CounterLock()
    : m_mutex(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME))
    , m_held(WaitForCounterMutex(m_mutex.get()))
{
}

CounterLock::~CounterLock()
{
    if (m_held)
        ::ReleaseMutex(m_mutex.get());
}

int32_t ReadCountLocked()
{
    const fw::UniqueHandle section(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, COUNTER_SECTION_NAME));
    const fw::UniqueFileView view(MapWholeSection(section.get()));
    return view ? *static_cast<const volatile int32_t*>(view.get()) : 0;
}

BOOL WriteCountLocked(int32_t value)
{
    const fw::UniqueHandle section(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, COUNTER_SECTION_NAME));
    if (section) {
        if (const fw::UniqueFileView view { MapWholeSection(section.get()) })
            StoreCount(view.get(), value);
        return TRUE;
    }
    fw::UniqueHandle created(CreateCounterSection());
    {
        const fw::UniqueFileView view(MapWholeSection(created.get()));
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
    if (!WaitForCounterMutex(m_mutex.get()))
        return 0;
    // Without a view of its own (no section at the start) it looks the
    // section up by name, as ReadMailCount does.
    const int32_t count = m_view ? *static_cast<const volatile int32_t*>(m_view.get()) : ReadCountLocked();
    ::ReleaseMutex(m_mutex.get());
    return count;
}
