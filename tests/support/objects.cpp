#include "objects.h"

#include <sddl.h>

#include <stdio.h>

namespace test {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

Process StartOneOfMany(const std::string& commandLine, bool captureOutput)
{
    Process process = Process::Start(commandLine, captureOutput);
    for (int attempt = 1; attempt < 5 && process.id() == 0; ++attempt)
        process = Process::Start(commandLine, captureOutput);
    return process;
}

NamedEvent::NamedEvent()
{
    static LONG serial = 0;
    char name[64];
    snprintf(name, sizeof name, "lbt-event-%lu-%ld", ::GetCurrentProcessId(), ::InterlockedIncrement(&serial));
    m_name = name;
    m_event.reset(::CreateEventA(nullptr, TRUE, FALSE, name));
}

CounterLockHolder::CounterLockHolder(Ending ending)
{
    const std::string releaseName = ending == Ending::Release ? m_release.name() : "-";
    m_process = StartOneOfMany(
        Quoted(ProgramDir() + "\\tests\\hold_counter_mutex.exe") + " " + m_ready.name() + " " + releaseName);
    // Generous: the lock may be held by someone else for a while first. A
    // helper that ended without the lock ends the wait too.
    const HANDLE ends[] = { m_ready.handle(), m_process.handle() };
    m_holding = m_process.handle() && ::WaitForMultipleObjects(2, ends, FALSE, 60000) == WAIT_OBJECT_0;
}

CounterLockHolder::~CounterLockHolder() { m_process.Kill(); }

bool CounterLockHolder::Release()
{
    m_release.Set();
    return m_process.Wait(30000);
}

InstanceMarker::InstanceMarker()
    : m_mutex(::CreateMutexA(nullptr, FALSE, "larkbell_mutex"))
{
}

bool operator==(const AceEntry& a, const AceEntry& b) { return a.type == b.type && a.mask == b.mask && a.sid == b.sid; }

std::string Describe(const AceEntry& entry)
{
    char text[160];
    snprintf(text, sizeof text, "{type %u, mask 0x%lX, %s}", entry.type, static_cast<unsigned long>(entry.mask),
        entry.sid.c_str());
    return text;
}

namespace {

    std::string SidText(PSID sid)
    {
        LPSTR text = nullptr;
        if (!::ConvertSidToStringSidA(sid, &text))
            return "?";
        const fw::UniqueLocal owner(text);
        return text;
    }

    // Allowed and denied entries share one layout: header, mask, SID.
    AceEntry EntryAt(const ACE_HEADER* header)
    {
        const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        return AceEntry { header->AceType, ace->Mask, SidText(sid) };
    }

} // namespace

DaclView DaclOf(PSECURITY_DESCRIPTOR descriptor)
{
    DaclView view;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted))
        return view;
    view.present = present != FALSE;
    view.defaulted = defaulted != FALSE;
    if (!acl)
        return view;
    view.aclSize = acl->AclSize;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (::GetAce(acl, i, &ace))
            view.entries.push_back(EntryAt(static_cast<const ACE_HEADER*>(ace)));
    }
    return view;
}

DaclView ObjectDacl(HANDLE object)
{
    DWORD needed = 0;
    ::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed))
        return {};
    return DaclOf(buffer.data());
}

} // namespace test
