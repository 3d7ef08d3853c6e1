// What every folder's thread last said of itself, kept for the icon and
// published in the status file for larkbellctl status.
#pragma once

#include <windows.h>

#include <string>

#include "watch/core/watch_status.h"
#include "win32/locks.h"

namespace mail {

// Seconds since 1970 UTC.
int64_t UnixNow();

// The user's language (Japanese when the UI language is), the time and the
// local zone's offset, for the texts of watch_status.h.
StatusView LocalStatusView();

class StatusBoard {
public:
    // `file_path`: the status file, beside the state file.
    explicit StatusBoard(std::string file_path);
    StatusBoard(const StatusBoard&) = delete;
    StatusBoard& operator=(const StatusBoard&) = delete;

    // Every thread reports its folder's changes here; on a change the board
    // rewrites the status file (atomically, readable by the current user
    // only) and posts `message` to the listener's window if one is set.
    void Report(const FolderStatus& folder);
    void Forget(const std::string& account); // an account removed from the settings
    void SetPausedUntil(int64_t unix_s);
    WatchStatus Snapshot() const;
    void SetListener(HWND window, UINT message); // null to stop

private:
    void Publish(); // with m_lock held

    std::string m_path;
    mutable win32::CriticalSection m_lock; // around everything below
    WatchStatus m_status;
    std::string m_written; // the file's text, to write only what changed
    HWND m_window = nullptr;
    UINT m_message = 0;
};

} // namespace mail
