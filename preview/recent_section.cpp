#include "preview/recent_section.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <vector>

#include "win32/locks.h"

namespace preview {

namespace {

    constexpr char kSectionPrefix[] = "Local\\larkbell_recent_";
    constexpr char kLockPrefix[] = "Local\\larkbell_recent_lock_";
    constexpr size_t kLengthBytes = 4;

    // The process's user SID, in a buffer the caller keeps.
    bool CurrentUserSid(std::vector<unsigned char>* buffer)
    {
        HANDLE raw = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
            return false;
        const win32::UniqueHandle token(raw);
        DWORD size = 0;
        ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        if (size == 0)
            return false;
        buffer->resize(size);
        return ::GetTokenInformation(token.get(), TokenUser, buffer->data(), size, &size) != 0;
    }

    PSID SidOf(std::vector<unsigned char>& token_user)
    {
        return reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
    }

    std::string SidText(PSID sid)
    {
        char* text = nullptr;
        if (!::ConvertSidToStringSidA(sid, &text))
            return {};
        const win32::UniqueLocal owned(text);
        return text;
    }

    // A descriptor whose only entry gives the user everything: nobody else,
    // not even another user of the same session, may open the objects.
    class UserOnlySecurity {
    public:
        explicit UserOnlySecurity(PSID sid)
            : m_acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid))
        {
            PACL acl = reinterpret_cast<PACL>(m_acl.data());
            m_ready = ::InitializeAcl(acl, static_cast<DWORD>(m_acl.size()), ACL_REVISION)
                && ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid)
                && ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION)
                && ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE)
                && ::SetSecurityDescriptorOwner(&m_descriptor, sid, FALSE);
            m_attributes.nLength = sizeof m_attributes;
            m_attributes.lpSecurityDescriptor = &m_descriptor;
            m_attributes.bInheritHandle = FALSE;
        }
        SECURITY_ATTRIBUTES* get() { return m_ready ? &m_attributes : nullptr; }

    private:
        std::vector<unsigned char> m_acl;
        SECURITY_DESCRIPTOR m_descriptor = {};
        SECURITY_ATTRIBUTES m_attributes = {};
        bool m_ready = false;
    };

    // The view over the whole section, unmapped on scope exit.
    class SectionView {
    public:
        SectionView(HANDLE section, DWORD access)
            : m_view(::MapViewOfFile(section, access, 0, 0, kRecentSectionBytes))
        {
        }
        unsigned char* bytes() const { return static_cast<unsigned char*>(m_view.get()); }

    private:
        win32::UniqueFileView m_view;
    };

    // An object of this name made by someone else (the name is no secret)
    // is not ours to read or write.
    bool OwnedBy(HANDLE object, PSID sid)
    {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetSecurityInfo(
                object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor)
            != ERROR_SUCCESS)
            return false;
        const win32::UniqueLocal owned(descriptor);
        return owner && ::EqualSid(owner, sid);
    }

    bool ReadHeld(HANDLE section, std::string* payload)
    {
        const SectionView view(section, FILE_MAP_READ);
        if (!view.bytes())
            return false;
        uint32_t length = 0;
        memcpy(&length, view.bytes(), kLengthBytes);
        if (length > kRecentSectionBytes - kLengthBytes)
            return false;
        payload->assign(reinterpret_cast<const char*>(view.bytes()) + kLengthBytes, length);
        return true;
    }

    bool WriteHeld(HANDLE section, std::string_view payload)
    {
        if (payload.size() > kRecentSectionBytes - kLengthBytes)
            return false;
        const SectionView view(section, FILE_MAP_READ | FILE_MAP_WRITE);
        if (!view.bytes())
            return false;
        const uint32_t length = static_cast<uint32_t>(payload.size());
        memcpy(view.bytes() + kLengthBytes, payload.data(), payload.size());
        memcpy(view.bytes(), &length, kLengthBytes);
        return true;
    }

} // namespace

RecentSection::RecentSection(bool create)
{
    std::vector<unsigned char> token_user;
    if (!CurrentUserSid(&token_user))
        return;
    const std::string sid = SidText(SidOf(token_user));
    if (sid.empty())
        return;
    const std::string section_name = kSectionPrefix + sid;
    const std::string lock_name = kLockPrefix + sid;
    UserOnlySecurity security(SidOf(token_user));
    if (!security.get())
        return;
    m_lock.reset(::CreateMutexA(security.get(), FALSE, lock_name.c_str()));
    if (!m_lock.valid())
        return;
    if (create)
        m_section.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
            static_cast<DWORD>(kRecentSectionBytes), section_name.c_str()));
    else
        m_section.reset(::OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE | READ_CONTROL, FALSE, section_name.c_str()));
    if (m_section.valid()
        && (!OwnedBy(m_section.get(), SidOf(token_user)) || !OwnedBy(m_lock.get(), SidOf(token_user)))) {
        m_section.reset();
        m_lock.reset();
    }
}

bool RecentSection::Read(std::string* payload) const
{
    payload->clear();
    if (!valid())
        return false;
    const win32::MutexHold hold(m_lock.get(), kRecentWaitMs);
    return hold.held() && ReadHeld(m_section.get(), payload);
}

bool RecentSection::Write(std::string_view payload) const
{
    if (!valid())
        return false;
    const win32::MutexHold hold(m_lock.get(), kRecentWaitMs);
    return hold.held() && WriteHeld(m_section.get(), payload);
}

bool RecentSection::Update(const std::function<std::string(const std::string&)>& change) const
{
    if (!valid())
        return false;
    const win32::MutexHold hold(m_lock.get(), kRecentWaitMs);
    std::string payload;
    if (!hold.held())
        return false;
    if (!ReadHeld(m_section.get(), &payload))
        payload.clear();
    return WriteHeld(m_section.get(), change(payload));
}

void ClearRecent()
{
    const RecentSection section(false);
    section.Write({});
}

} // namespace preview
