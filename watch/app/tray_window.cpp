#include "watch/app/tray_window.h"

#include <shellapi.h>

#include <string>

#include "watch/app/watched_accounts.h"
#include "watch/shell/code_pages.h"
#include "watch/shell/status_board.h"
#include "watch/shell/watch_log.h"
#include "win32/module_path.h"
#include "win32/window_object.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";
    constexpr UINT kIconMessage = WM_APP + 1;
    constexpr UINT kBoardMessage = WM_APP + 2;
    constexpr UINT_PTR kAlertTimer = 1;
    // How often a folder that is not watching is looked at again, so that
    // the "failing too long" balloon comes without another report.
    constexpr UINT kAlertCheckMs = 30 * 1000;
    constexpr int64_t kPauseS = 60 * 60;
    // Room in the balloon for a second alert that fell due with the first.
    constexpr char kAlertSeparator[] = "\r\n";

} // namespace

TrayWindow::TrayWindow(StatusBoard& board, WatchedAccounts& accounts, WatchLog& log, HANDLE stop_event)
    : m_board(board)
    , m_accounts(accounts)
    , m_log(log)
    , m_stop(stop_event)
    , m_taskbarCreated(::RegisterWindowMessageA("TaskbarCreated"))
{
    // "TaskbarCreated" is broadcast to top-level windows only.
    m_window = win32::CreateHiddenWindow(kTrayWindowClass, kSelf, &TrayWindow::WindowProc, this);
    if (!m_window)
        return;
    m_icon = std::make_unique<TrayIcon>(m_window.get(), kIconMessage);
    m_board.SetListener(m_window.get(), kBoardMessage);
    Refresh();
}

TrayWindow::~TrayWindow()
{
    if (m_window)
        m_board.SetListener(nullptr, 0);
    m_icon.reset();
}

void TrayWindow::Refresh()
{
    const WatchStatus status = m_board.Snapshot();
    const StatusView view = LocalStatusView();
    const int64_t alert_after = m_accounts.AlertAfterSeconds();
    m_icon->Show(NeedsAttention(status, alert_after, view.now), StatusTooltip(status, view));
    Tell(DueAlerts(status, alert_after, view, &m_told));
    m_status.Update(status, view);
    // While something is not watching, a drop may outlast alertafter with no new report.
    const bool failing = StatusExitCode(status) != 0;
    if (failing != m_timing) {
        if (failing)
            ::SetTimer(m_window.get(), kAlertTimer, kAlertCheckMs, nullptr);
        else
            ::KillTimer(m_window.get(), kAlertTimer);
        m_timing = failing;
    }
}

void TrayWindow::Tell(const std::vector<Alert>& alerts)
{
    if (alerts.empty())
        return;
    std::string text;
    for (const Alert& alert : alerts) {
        // The error under the first line is in the log already.
        const std::string_view said = std::string_view(alert.text).substr(0, alert.text.find('\n'));
        m_log.Write(kSelf, "balloon: " + Cp932ToUtf8Text(alert.title) + ": " + Cp932ToUtf8Text(said));
        text += (text.empty() ? "" : kAlertSeparator) + alert.text;
    }
    m_icon->Balloon(alerts.front().title, text);
}

void TrayWindow::OnIcon(UINT mouse_message)
{
    if (mouse_message == WM_LBUTTONUP) {
        m_status.Open(m_board.Snapshot(), LocalStatusView());
    } else if (mouse_message == WM_RBUTTONUP) {
        const StatusView view = LocalStatusView();
        Carry(ChooseFromTrayMenu(m_window.get(), view.language, m_board.Snapshot().paused_until > view.now));
    }
}

void TrayWindow::Carry(TrayCommand command)
{
    switch (command) {
    case TrayCommand::CheckNow:
        m_log.Write(kSelf, "check now (icon's menu): every account checks at once");
        m_accounts.CheckNow();
        break;
    case TrayCommand::Status:
        m_status.Open(m_board.Snapshot(), LocalStatusView());
        break;
    case TrayCommand::OpenLog: {
        const std::string path = win32::ModuleSiblingPath("log");
        const auto opened = reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (opened <= 32)
            m_log.Write(kSelf, "the log cannot be opened (no program for it?)");
        break;
    }
    case TrayCommand::Pause:
        m_accounts.PauseUntil(UnixNow() + kPauseS);
        break;
    case TrayCommand::Resume:
        m_accounts.PauseUntil(0);
        break;
    case TrayCommand::Quit:
        m_log.Write(kSelf, "quit (icon's menu)");
        ::SetEvent(m_stop);
        break;
    case TrayCommand::None:
        break;
    }
}

bool TrayWindow::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message == kIconMessage) {
        OnIcon(LOWORD(lParam));
    } else if (message == kBoardMessage) {
        // Reports come in bursts; one look at the board covers them all.
        MSG queued;
        while (::PeekMessageA(&queued, m_window.get(), kBoardMessage, kBoardMessage, PM_REMOVE)) { }
        Refresh();
    } else if (message == WM_TIMER) {
        Refresh();
    } else if (message == m_taskbarCreated && m_taskbarCreated) {
        m_icon->Readd();
    } else {
        return false;
    }
    return true;
}

LRESULT CALLBACK TrayWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = win32::WindowObject<TrayWindow>(window, message, lParam);
    if (self && self->m_icon && self->OnMessage(message, wParam, lParam))
        return 0;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace mail
