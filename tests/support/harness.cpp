#include "harness.h"

#include <tlhelp32.h>

#include <stdio.h>

namespace test {

namespace {

    std::string DirOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

    std::string ModulePath()
    {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, path, sizeof path);
        return path;
    }

    std::string UniqueTempPath(const char* stem)
    {
        static LONG serial = 0;
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%slbt-%s-%lu-%ld", temp, stem, ::GetCurrentProcessId(),
            ::InterlockedIncrement(&serial));
        return path;
    }

    std::string ReadWholeFile(const std::string& path)
    {
        std::string bytes;
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            return bytes;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, n);
        fclose(file);
        return bytes;
    }

    HANDLE InheritableFile(const std::string& path)
    {
        SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
        return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
            FILE_ATTRIBUTE_NORMAL, nullptr);
    }

} // namespace

std::string ProgramDir() { return DirOf(DirOf(ModulePath())); }

Sandbox::Sandbox(const std::string& exeName, bool withSkin)
    : m_dir(UniqueTempPath("box"))
    , m_exeName(exeName)
{
    ::CreateDirectoryA(m_dir.c_str(), nullptr);
    ::CopyFileA((ProgramDir() + "\\larkbell.exe").c_str(), exe().c_str(), FALSE);
    if (withSkin)
        ::CopyFileA((ProgramDir() + "\\larkbell.bmp").c_str(), sibling("bmp").c_str(), FALSE);
}

Sandbox::~Sandbox()
{
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((m_dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string path = m_dir + "\\" + found.cFileName;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(m_dir.c_str());
}

std::string Sandbox::sibling(const std::string& extension) const
{
    return m_dir + "\\" + m_exeName.substr(0, m_exeName.find_last_of('.')) + "." + extension;
}

void Sandbox::WriteFile(const std::string& name, const std::string& bytes) const
{
    FILE* file = fopen((m_dir + "\\" + name).c_str(), "wb");
    if (file) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

std::string Sandbox::ReadFile(const std::string& name) const { return ReadWholeFile(m_dir + "\\" + name); }

bool Sandbox::Exists(const std::string& name) const
{
    return ::GetFileAttributesA((m_dir + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Process::~Process()
{
    Kill();
    if (!m_outPath.empty()) {
        ::DeleteFileA(m_outPath.c_str());
        ::DeleteFileA(m_errPath.c_str());
    }
}

Process Process::Start(const std::string& commandLine, bool captureOutput)
{
    Process process;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    fw::UniqueHandle out;
    fw::UniqueHandle err;
    if (captureOutput) {
        process.m_outPath = UniqueTempPath("out");
        process.m_errPath = UniqueTempPath("err");
        out.reset(InheritableFile(process.m_outPath));
        err.reset(InheritableFile(process.m_errPath));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
    }
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    PROCESS_INFORMATION info = {};
    if (::CreateProcessA(
            nullptr, command.data(), nullptr, nullptr, captureOutput, 0, nullptr, nullptr, &startup, &info)) {
        ::CloseHandle(info.hThread);
        process.m_process.reset(info.hProcess);
        process.m_id = info.dwProcessId;
    }
    return process;
}

bool Process::Wait(DWORD ms) const { return !m_process || ::WaitForSingleObject(m_process.get(), ms) == WAIT_OBJECT_0; }

DWORD Process::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_process)
        ::GetExitCodeProcess(m_process.get(), &code);
    return code;
}

void Process::Kill()
{
    if (m_process && Running()) {
        ::TerminateProcess(m_process.get(), 99);
        Wait(5000);
    }
}

std::string Process::Output() const { return ReadWholeFile(m_outPath); }

std::string Process::Errors() const { return ReadWholeFile(m_errPath); }

DWORD RunToEnd(const std::string& commandLine, DWORD ms)
{
    Process process = Process::Start(commandLine);
    if (!process.Wait(ms))
        return STILL_ACTIVE;
    return process.ExitCode();
}

CtlResult Ctl(const std::string& arguments)
{
    Process process = Process::Start("\"" + ProgramDir() + "\\larkbellctl.exe\" " + arguments, true);
    if (!process.Wait(60000))
        return { STILL_ACTIVE, "", "" };
    return { process.ExitCode(), process.Output(), process.Errors() };
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms)
{
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(20);
    }
}

namespace {

    struct DialogSearch {
        DWORD pid;
        const char* caption;
        HWND found;
    };

    BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param)
    {
        auto* search = reinterpret_cast<DialogSearch*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        char className[64] = {};
        ::GetClassNameA(hwnd, className, sizeof className);
        if (pid != search->pid || strcmp(className, "#32770") != 0 || !::IsWindowVisible(hwnd))
            return TRUE;
        if (search->caption) {
            char caption[256] = {};
            ::GetWindowTextA(hwnd, caption, sizeof caption);
            if (strcmp(caption, search->caption) != 0)
                return TRUE;
        }
        search->found = hwnd;
        return FALSE;
    }

    BOOL CALLBACK CollectStaticText(HWND hwnd, LPARAM param)
    {
        char className[64] = {};
        ::GetClassNameA(hwnd, className, sizeof className);
        if (_stricmp(className, "Static") == 0) {
            char text[512] = {};
            ::GetWindowTextA(hwnd, text, sizeof text);
            auto* texts = reinterpret_cast<std::string*>(param);
            if (text[0] != '\0')
                *texts += std::string(texts->empty() ? "" : "\n") + text;
        }
        return TRUE;
    }

} // namespace

HWND FindDialogOf(DWORD pid, const char* caption)
{
    DialogSearch search = { pid, caption, nullptr };
    ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialogOf(DWORD pid, DWORD ms, const char* caption)
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindDialogOf(pid, caption)) != nullptr; }, ms);
    return found;
}

std::string StaticTexts(HWND dialog)
{
    std::string texts;
    ::EnumChildWindows(dialog, &CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

bool InstanceMutexExists()
{
    const fw::UniqueHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, "larkbell_mutex"));
    return mutex.valid();
}

bool CounterSectionExists()
{
    const fw::UniqueHandle section(::OpenFileMappingA(FILE_MAP_READ, FALSE, "olooknewmailcount"));
    return section.valid();
}

void EndStrayNotifiers()
{
    const fw::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
        const fw::UniqueHandle process(
            ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        char image[MAX_PATH] = {};
        DWORD size = sizeof image;
        if (process && ::QueryFullProcessImageNameA(process.get(), 0, image, &size) && strstr(image, "\\lbt-box-")) {
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), 5000);
        }
    }
    WaitFor([] { return !InstanceMutexExists(); }, 5000);
}

} // namespace test
