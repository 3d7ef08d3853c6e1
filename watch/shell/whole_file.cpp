#include "watch/shell/whole_file.h"

#include <windows.h>

#include <sddl.h>

#include "win32/error_text.h"
#include "win32/handles.h"

namespace mail {

using win32::ErrorText;
using win32::UniqueFile;

namespace {

    // "D:P(A;;FA;;;<the user's SID>)": full access for the user, nothing
    // inherited; null when it cannot be made.
    win32::UniqueLocal CurrentUserOnlyDescriptor()
    {
        HANDLE raw = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
            return win32::UniqueLocal();
        const win32::UniqueHandle token(raw);
        char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        char* sid = nullptr;
        if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)
            || !::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid))
            return win32::UniqueLocal();
        const win32::UniqueLocal sid_text(sid);
        const std::string sddl = std::string("D:P(A;;FA;;;") + sid + ")";
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return win32::UniqueLocal();
        return win32::UniqueLocal(descriptor);
    }

} // namespace

ReadOutcome ReadWholeFile(const std::string& path, size_t limit, std::string* contents)
{
    contents->clear();
    const UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadOutcome::Missing
                                                                              : ReadOutcome::Failed;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size))
        return ReadOutcome::Failed;
    if (static_cast<unsigned long long>(size.QuadPart) > limit)
        return ReadOutcome::TooLarge;
    contents->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!contents->empty()
        && (!::ReadFile(file.get(), &(*contents)[0], static_cast<DWORD>(contents->size()), &read, nullptr)
            || read != contents->size())) {
        contents->clear();
        return ReadOutcome::Failed;
    }
    return ReadOutcome::Read;
}

bool ReplaceWholeFile(const std::string& path, std::string_view contents, std::string* why, FileReaders readers)
{
    const std::string temporary = path + ".tmp";
    win32::UniqueLocal descriptor;
    if (readers == FileReaders::CurrentUserOnly) {
        descriptor = CurrentUserOnlyDescriptor();
        if (!descriptor) {
            *why = ErrorText("cannot make a security descriptor for", temporary);
            return false;
        }
    }
    SECURITY_ATTRIBUTES security { sizeof security, descriptor.get(), FALSE };
    {
        // CREATE_ALWAYS keeps an existing file's own descriptor: a leftover
        // temporary goes first. The rename keeps the new one's.
        if (descriptor)
            ::DeleteFileA(temporary.c_str());
        const UniqueFile file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, descriptor ? &security : nullptr,
            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            *why = ErrorText("cannot create", temporary);
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr)
            || written != contents.size() || !::FlushFileBuffers(file.get())) {
            *why = ErrorText("cannot write", temporary);
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *why = ErrorText("cannot replace", path);
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace mail
