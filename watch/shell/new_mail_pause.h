// New-mail popups paused for a while: new mail is still counted and its
// state saved, but the sum waits in the state file and goes to the notifier
// in one start when the pause ends (at its time, or when resumed).
#pragma once

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <string_view>

#include "watch/shell/state_store.h"
#include "watch/shell/status_board.h"
#include "watch/shell/watch_log.h"
#include "win32/locks.h"

namespace mail {

// larkbellctl pause asks the running watcher by posting this message, with
// the pause's end in Unix seconds (0: resume) as wParam, to its hidden
// window (class kResumeWindowClass). 0 when it cannot be registered.
UINT PauseMessage();
bool PostPauseRequest(int64_t until);
// At most a day from now; 0 and times past stay as they are.
int64_t LimitPause(int64_t until);

class NewMailPause {
public:
    // `board` may be null.
    NewMailPause(StateStore& store, WatchLog& log, StatusBoard* board);
    NewMailPause(const NewMailPause&) = delete;
    NewMailPause& operator=(const NewMailPause&) = delete;
    ~NewMailPause();

    // The notifier that takes the held sum. A sum the watcher before left
    // held (its pause ended with it) goes there at once.
    void SetNotifier(const std::string& path);
    // 0, or a time already past, resumes: what was held goes now.
    void PauseUntil(int64_t unix_s);
    // Messages wait for the pause's end: the popup's list is theirs.
    bool holding();

    // `count` new messages of `where`: handed to the notifier, then
    // `persist(0)`; while paused only `persist(count)`, which records them
    // held. False when they could not be handed over: nothing is persisted.
    bool Take(uint32_t count, const std::string& notifier_path, std::string_view where,
        const std::function<void(uint32_t held)>& persist);

private:
    static VOID CALLBACK OnTimer(PTP_CALLBACK_INSTANCE instance, PVOID self, PTP_TIMER timer);
    void Arm(int64_t unix_s); // with m_lock held
    void EndIfDue(); // with m_lock held
    void Release(); // with m_lock held

    StateStore& m_store;
    WatchLog& m_log;
    StatusBoard* m_board;
    win32::CriticalSection m_lock; // around what follows, and every hand-over
    int64_t m_until = 0; // Unix seconds; 0: not paused
    std::string m_notifier;
    PTP_TIMER m_timer = nullptr; // owned; ends the pause at m_until
};

} // namespace mail
