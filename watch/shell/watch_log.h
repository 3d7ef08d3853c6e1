// The watcher's log beside the executable: one line per event, shared by
// every connection thread, kept under a size limit by one rotation.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>

#include "win32/locks.h"

namespace mail {

class WatchLog {
public:
    static constexpr uint64_t kDefaultLimit = 1024 * 1024;

    explicit WatchLog(std::string path, uint64_t limit = kDefaultLimit);
    WatchLog(const WatchLog&) = delete;
    WatchLog& operator=(const WatchLog&) = delete;

    // "YYYY-MM-DD hh:mm:ss [where] text", both parts given in UTF-8 and
    // written in code page 932 like the settings. Control characters become
    // '?', so text from the network cannot forge or split lines.
    void Write(std::string_view where, std::string_view text);

private:
    void AppendLocked(const std::string& line);

    std::string m_path;
    uint64_t m_limit;
    win32::CriticalSection m_lock;
};

} // namespace mail
