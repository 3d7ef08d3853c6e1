// Support for end-to-end tests: real processes, folders, windows and named
// objects under Wine.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "unique_any.h"

namespace test {

// Folder of the programs under test (build/bin).
std::string ProgramDir();

// A fresh folder that holds a copy of the notifier, removed afterwards.
class Sandbox {
public:
    // `exeName` is the copy's file name; the bundled skin is copied beside
    // it under the matching name when `withSkin` is set.
    explicit Sandbox(const std::string& exeName = "larkbell.exe", bool withSkin = true);
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    ~Sandbox();

    const std::string& dir() const { return m_dir; }
    std::string exe() const { return m_dir + "\\" + m_exeName; }
    // Path beside the executable with its base name and `extension` ("ini").
    std::string sibling(const std::string& extension) const;
    void WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;
    bool Exists(const std::string& name) const;

private:
    std::string m_dir;
    std::string m_exeName;
};

class Process {
public:
    Process() = default;
    Process(Process&&) = default;
    Process& operator=(Process&&) = default;
    ~Process();

    // Starts `commandLine`; stdout and stderr go to files in %TEMP% when
    // `captureOutput` is set.
    static Process Start(const std::string& commandLine, bool captureOutput = false);

    DWORD id() const { return m_id; }
    HANDLE handle() const { return m_process.get(); }
    // True when the process ended within `ms`.
    bool Wait(DWORD ms) const;
    DWORD ExitCode() const;
    bool Running() const { return !Wait(0); }
    void Kill();
    std::string Output() const;
    std::string Errors() const;

private:
    fw::UniqueHandle m_process;
    DWORD m_id = 0;
    std::string m_outPath;
    std::string m_errPath;
};

// Runs a command to its end (at most `ms`) and gives its exit code.
DWORD RunToEnd(const std::string& commandLine, DWORD ms = 30000);

struct CtlResult {
    DWORD exitCode;
    std::string out;
    std::string err;
};
// Runs larkbellctl with `arguments`.
CtlResult Ctl(const std::string& arguments);

// Polls `condition` every 20 ms until it holds or `ms` pass.
bool WaitFor(const std::function<bool()>& condition, DWORD ms = 10000);

// The visible top-level dialog window of process `pid`, or null.
HWND FindDialogOf(DWORD pid, const char* caption = nullptr);
// Waits for it.
HWND WaitForDialogOf(DWORD pid, DWORD ms = 10000, const char* caption = nullptr);
// Texts of the static controls of `dialog`, joined by '\n'.
std::string StaticTexts(HWND dialog);

// Named objects.
bool InstanceMutexExists();
bool CounterSectionExists();

// Ends any notifier left running and waits until its named objects are gone.
void EndStrayNotifiers();

} // namespace test
