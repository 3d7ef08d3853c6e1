#include "watch/app/starter_console.h"

#include <windows.h>

#include "win32/handles.h"

namespace mail {

namespace {

    bool WriteAll(HANDLE out, const std::string& text)
    {
        DWORD written = 0;
        return out && out != INVALID_HANDLE_VALUE
            && ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)
            && written == text.size();
    }

} // namespace

void SayToStarter(const std::string& line, bool error)
{
    const std::string text = line + "\r\n";
    // Redirected output is inherited as standard handles; a console is not.
    if (WriteAll(::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), text))
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const win32::UniqueFile console(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!console)
        return;
    WriteAll(console.get(), text);
}

} // namespace mail
