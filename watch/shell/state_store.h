// What was already counted, per account and folder, shared by the connection
// threads and kept in the state file beside the executable.
#pragma once

#include <windows.h>

#include <string>

#include "watch/core/watch_state.h"
#include "watch/shell/watch_log.h"
#include "win32/locks.h"

namespace mail {

class StateStore {
public:
    // Larger files are not read: they were not written by this program. A
    // POP3 account may keep 20,000 ids of up to 70 bytes.
    static constexpr size_t kMaxFileBytes = 8 * 1024 * 1024;

    StateStore(std::string path, WatchLog& log);
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;

    // A missing file is a first start; an unreadable one is logged and every
    // folder starts with a baseline, so nothing is counted twice.
    void Load();

    FolderState Get(const WatchKey& key);

    // Records `state` and writes the whole file anew; false (logged) when the
    // file could not be replaced: the old one then stays.
    bool Put(const WatchKey& key, const FolderState& state);

    // The same for the ids seen on a POP3 account.
    Pop3Seen GetPop3(const std::string& account);
    bool PutPop3(const std::string& account, const Pop3Seen& seen);

    // While popups are paused: `count` new messages join the held sum in
    // the same write that records the state, so a restart neither loses nor
    // repeats them.
    bool PutHeld(const WatchKey& key, const FolderState& state, uint32_t count);
    bool PutPop3Held(const std::string& account, const Pop3Seen& seen, uint32_t count);
    uint32_t held();
    // After the held sum was handed over: `handed` of it leaves the file.
    bool Unhold(uint32_t handed);

private:
    std::string m_path;
    WatchLog& m_log;
    win32::CriticalSection m_lock; // around m_state and the file
    bool Save(); // with m_lock held

    WatchState m_state;
    Pop3State m_pop3;
    uint32_t m_held = 0;
};

} // namespace mail
