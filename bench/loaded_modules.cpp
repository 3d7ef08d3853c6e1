#include "bench/loaded_modules.h"

#include <windows.h>

#include <algorithm>
#include <ctype.h>

namespace bench {

namespace {

    constexpr DWORD kEventWaitMs = 20000;

    // The image name the debug event points to inside the debuggee, if any.
    std::string ImageName(HANDLE process, const LOAD_DLL_DEBUG_INFO& dll)
    {
        void* remote = nullptr;
        SIZE_T read = 0;
        if (!dll.lpImageName || !::ReadProcessMemory(process, dll.lpImageName, &remote, sizeof remote, &read)
            || !remote)
            return {};
        char buffer[MAX_PATH * 2] = {};
        if (!::ReadProcessMemory(process, remote, buffer, sizeof buffer - 2, &read))
            return {};
        if (!dll.fUnicode)
            return std::string(buffer, strnlen(buffer, sizeof buffer));
        char narrow[MAX_PATH] = {};
        ::WideCharToMultiByte(
            CP_ACP, 0, reinterpret_cast<const wchar_t*>(buffer), -1, narrow, sizeof narrow - 1, nullptr, nullptr);
        return narrow;
    }

    std::string FileName(std::string path)
    {
        const size_t slash = path.find_last_of("\\/");
        if (slash != std::string::npos)
            path.erase(0, slash + 1);
        std::transform(path.begin(), path.end(), path.begin(), [](unsigned char c) { return char(tolower(c)); });
        return path;
    }

} // namespace

std::vector<std::string> ModulesLoadedBy(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
            &startup, &info))
        return {};
    std::vector<std::string> modules;
    bool ended = false;
    DEBUG_EVENT event;
    while (!ended && ::WaitForDebugEvent(&event, kEventWaitMs)) {
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case LOAD_DLL_DEBUG_EVENT:
            // The loader does not always say which module it mapped.
            if (const std::string name = FileName(ImageName(info.hProcess, event.u.LoadDll)); !name.empty())
                modules.push_back(name);
            if (event.u.LoadDll.hFile)
                ::CloseHandle(event.u.LoadDll.hFile);
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                ::CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // Only the loader's first breakpoint is the debugger's; the rest
            // go back to the program.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            ended = true;
            break;
        default:
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (!ended) {
        ::TerminateProcess(info.hProcess, 1);
        modules.clear();
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return modules;
}

} // namespace bench
