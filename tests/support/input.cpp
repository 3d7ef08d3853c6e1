#include "input.h"

#include <stdio.h>
#include <stdlib.h>

#include "harness.h"

namespace test {

namespace {

    bool Xdotool(const char* format, int a, int b = 0)
    {
        char arguments[128];
        snprintf(arguments, sizeof arguments, format, a, b);
        return RunLinux(std::string("/usr/bin/xdotool ") + arguments);
    }

    std::string ReadSmallFile(const std::string& path)
    {
        char text[32] = {};
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            return "";
        const size_t n = fread(text, 1, sizeof text - 1, file);
        fclose(file);
        return std::string(text, n);
    }

} // namespace

bool RunLinux(const std::string& shellCommand, DWORD ms)
{
    static LONG serial = 0;
    char name[64];
    snprintf(name, sizeof name, "lbt-done-%lu-%ld", ::GetCurrentProcessId(), ::InterlockedIncrement(&serial));
    const std::string done = std::string("/tmp/") + name;
    const std::string doneHere = std::string("Z:\\tmp\\") + name;
    ::DeleteFileA(doneHere.c_str());
    // The exit code goes to a side file first, so the marker appears whole.
    Process shell = Process::Start(
        "/bin/sh -c \"" + shellCommand + "; echo $? >" + done + ".part; mv " + done + ".part " + done + "\"");
    std::string exitCode;
    const bool ended = WaitFor([&] { return !(exitCode = ReadSmallFile(doneHere)).empty(); }, ms);
    ::DeleteFileA(doneHere.c_str());
    return ended && atoi(exitCode.c_str()) == 0;
}

std::string LinuxPath(const std::string& windowsPath)
{
    using ToUnixFn = char*(CDECL*)(const WCHAR*);
    const auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH] = {};
    if (!toUnix || !::MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH))
        return "";
    char* unixPath = toUnix(wide);
    if (!unixPath)
        return "";
    std::string path = unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return path;
}

bool PointerTo(POINT at) { return Xdotool("mousemove -- %d %d", at.x, at.y); }

bool ButtonDown(int button) { return Xdotool("mousedown %d", button); }

bool ButtonUp(int button) { return Xdotool("mouseup %d", button); }

bool ClickAt(POINT at, int button) { return PointerTo(at) && Xdotool("click %d", button); }

bool PointerGlide(POINT from, POINT to, int steps)
{
    for (int i = 1; i <= steps; ++i) {
        const POINT step = { from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps };
        if (!PointerTo(step))
            return false;
    }
    return true;
}

bool PressKey(const char* keyName) { return RunLinux(std::string("/usr/bin/xdotool key ") + keyName); }

POINT Shifted(POINT point, int dx, int dy) { return POINT { point.x + dx, point.y + dy }; }

} // namespace test
