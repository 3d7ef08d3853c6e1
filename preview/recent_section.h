// The channel that hands the newest senders and subjects to the popup: a
// named section in the session's namespace, under a lock of its own, both
// open to the current user alone (unlike the count, which every signed-in
// user may reach, subjects are private). Its name carries the user's SID.
// The count's section, lock and protocol are never touched here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <string_view>

#include "win32/handles.h"

namespace preview {

constexpr size_t kRecentSectionBytes = 64 * 1024;
constexpr size_t kRecentPayloadBytes = kRecentSectionBytes - 4; // after its length
constexpr uint32_t kRecentWaitMs = 2000; // a reader on the popup's thread never waits longer

// One handle on the section. The section lives while any process holds one:
// the watcher and the popup each keep theirs, so the list survives either
// restarting.
class RecentSection {
public:
    // create: make the section when it does not exist (the watcher);
    // otherwise open it only if it is there.
    explicit RecentSection(bool create);
    RecentSection(const RecentSection&) = delete;
    RecentSection& operator=(const RecentSection&) = delete;

    bool valid() const { return m_section.valid(); }
    // False when there is no section, the lock is not had in time, or what
    // it holds is not a whole payload.
    bool Read(std::string* payload) const;
    // At most kRecentSectionBytes less its length field; false when longer
    // or the lock is not had in time.
    bool Write(std::string_view payload) const;
    // Read, change and write back under one hold of the lock; a payload that
    // cannot be read is passed on empty.
    bool Update(const std::function<std::string(const std::string&)>& change) const;

private:
    win32::UniqueHandle m_section;
    win32::UniqueHandle m_lock;
};

// Empties the list if a section exists: the count went back to 0.
void ClearRecent();

} // namespace preview
