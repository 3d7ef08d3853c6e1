// A hidden top-level window, never shown, that hears the power broadcasts
// (message-only windows do not get them) and reports a resume from sleep.
#pragma once

#include <windows.h>

#include <functional>

namespace mail {

constexpr char kResumeWindowClass[] = "larkbellwatch_power";

class ResumeWindow {
public:
    explicit ResumeWindow(std::function<void()> on_resume);
    ResumeWindow(const ResumeWindow&) = delete;
    ResumeWindow& operator=(const ResumeWindow&) = delete;
    ~ResumeWindow();

    bool created() const { return m_window != nullptr; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> m_onResume;
    HWND m_window = nullptr; // owned: destroyed with this object
};

} // namespace mail
