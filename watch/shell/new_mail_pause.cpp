#include "watch/shell/new_mail_pause.h"

#include "watch/shell/hand_over.h"
#include "watch/shell/resume_window.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";
    constexpr int64_t kLongestPauseS = 24 * 60 * 60;

} // namespace

UINT PauseMessage() { return ::RegisterWindowMessageA("larkbellwatch_pause"); }

bool PostPauseRequest(int64_t until)
{
    const HWND window = ::FindWindowA(kResumeWindowClass, nullptr);
    const UINT message = PauseMessage();
    return window && message && ::PostMessageA(window, message, static_cast<WPARAM>(until), 0);
}

int64_t LimitPause(int64_t until)
{
    const int64_t latest = UnixNow() + kLongestPauseS;
    return until > latest ? latest : until;
}

NewMailPause::NewMailPause(StateStore& store, WatchLog& log, StatusBoard* board)
    : m_store(store)
    , m_log(log)
    , m_board(board)
    , m_timer(::CreateThreadpoolTimer(&NewMailPause::OnTimer, this, nullptr))
{
}

NewMailPause::~NewMailPause()
{
    if (!m_timer)
        return;
    ::SetThreadpoolTimer(m_timer, nullptr, 0, 0);
    ::WaitForThreadpoolTimerCallbacks(m_timer, TRUE);
    ::CloseThreadpoolTimer(m_timer);
}

void NewMailPause::SetNotifier(const std::string& path)
{
    const win32::SectionHold hold(m_lock);
    const bool first = m_notifier.empty();
    m_notifier = path;
    if (first && m_until == 0 && m_store.held() > 0) {
        m_log.Write(kSelf, "messages held while popups were paused before the last stop go to the notifier now");
        Release();
    }
}

void NewMailPause::PauseUntil(int64_t unix_s)
{
    const win32::SectionHold hold(m_lock);
    m_until = unix_s > UnixNow() ? unix_s : 0;
    if (m_board)
        m_board->SetPausedUntil(m_until);
    if (m_until == 0) {
        m_log.Write(kSelf, "new-mail popups resumed");
        if (m_timer)
            ::SetThreadpoolTimer(m_timer, nullptr, 0, 0);
        Release();
        return;
    }
    m_log.Write(kSelf, "new-mail popups paused for " + std::to_string((m_until - UnixNow() + 59) / 60) + " min");
    if (!m_timer)
        m_log.Write(kSelf, "no timer for the pause: it lasts until resumed or until new mail comes after its end");
    Arm(m_until);
}

void NewMailPause::Arm(int64_t unix_s)
{
    if (!m_timer)
        return;
    // A positive FILETIME is an absolute time in UTC.
    const uint64_t ticks = (static_cast<uint64_t>(unix_s) + 11644473600ull) * 10000000ull;
    FILETIME due { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    ::SetThreadpoolTimer(m_timer, &due, 0, 1000);
}

bool NewMailPause::holding()
{
    const win32::SectionHold hold(m_lock);
    return m_store.held() > 0;
}

bool NewMailPause::Take(uint32_t count, const std::string& notifier_path, std::string_view where,
    const std::function<void(uint32_t held)>& persist)
{
    const win32::SectionHold hold(m_lock);
    EndIfDue();
    if (m_until == 0) {
        Release(); // what a failed hand-over left held
        // Hand-over first: a crash before the state is saved counts twice, never loses.
        if (!HandOver(count, notifier_path, m_log, where))
            return false;
        persist(0);
        return true;
    }
    persist(count);
    m_log.Write(where,
        std::to_string(count) + " new message(s) held while popups are paused (" + std::to_string(m_store.held())
            + " held)");
    return true;
}

VOID CALLBACK NewMailPause::OnTimer(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER)
{
    auto* pause = static_cast<NewMailPause*>(self);
    const win32::SectionHold hold(pause->m_lock);
    pause->EndIfDue();
    if (pause->m_until != 0) // the timer came a moment early, or the pause was made longer
        pause->Arm(pause->m_until);
}

void NewMailPause::EndIfDue()
{
    if (m_until == 0 || UnixNow() < m_until)
        return;
    m_until = 0;
    if (m_board)
        m_board->SetPausedUntil(0);
    m_log.Write(kSelf, "the pause of new-mail popups is over");
    Release();
}

void NewMailPause::Release()
{
    const uint32_t held = m_store.held();
    if (held == 0)
        return;
    if (m_notifier.empty()) {
        m_log.Write(kSelf, std::to_string(held) + " held message(s) wait: no notifier is set yet");
        return;
    }
    // As for any count: handed over first, then no longer held.
    if (HandOver(held, m_notifier, m_log, kSelf))
        m_store.Unhold(held);
}

} // namespace mail
