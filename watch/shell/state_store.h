// What was already counted, per account and folder, shared by the connection
// threads and kept in the state file beside the executable.
#pragma once

#include <windows.h>

#include <string>

#include "watch_log.h"
#include "watch_state.h"

namespace mail {

class StateStore {
public:
    // Larger files are not read: they were not written by this program.
    static constexpr size_t kMaxFileBytes = 1024 * 1024;

    StateStore(std::string path, WatchLog& log);
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;
    ~StateStore();

    // A missing file is a first start; an unreadable one is logged and every
    // folder starts with a baseline, so nothing is counted twice.
    void Load();

    FolderState Get(const WatchKey& key);

    // Records `state` and writes the whole file anew; false (logged) when the
    // file could not be replaced: the old one then stays.
    bool Put(const WatchKey& key, const FolderState& state);

private:
    std::string m_path;
    WatchLog& m_log;
    CRITICAL_SECTION m_lock; // around m_state and the file
    WatchState m_state;
};

} // namespace mail
