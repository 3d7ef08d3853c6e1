#include "watch/shell/whole_file.h"

#include <windows.h>

#include "win32/error_text.h"
#include "win32/handles.h"

namespace mail {

using win32::ErrorText;
using win32::UniqueFile;

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

bool ReplaceWholeFile(const std::string& path, std::string_view contents, std::string* why)
{
    const std::string temporary = path + ".tmp";
    {
        const UniqueFile file(
            ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
