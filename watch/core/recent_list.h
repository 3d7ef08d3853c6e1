// The newest messages counted since the popup was last dismissed, as the
// watcher hands them to the popup: newest first, bounded, in a text form
// that a reader checks line by line, since another process wrote it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace mail {

constexpr size_t kRecentKept = 20; // more than any panel shows
constexpr size_t kRecentMaxLines = 20; // [preview] lines= is held to 1 to this

struct RecentMessage {
    int64_t time = 0; // seconds since 1970 UTC
    std::string account; // UTF-8, each field fit to show (no control characters)
    std::string sender;
    std::string subject;
};

struct RecentList {
    bool several_accounts = false; // the watcher watches more than one: name them
    std::vector<RecentMessage> messages; // newest first
};

// `batch` newest first goes in front; the oldest beyond kRecentKept go.
void AddNewest(RecentList* list, std::vector<RecentMessage> batch);

// At most `max_bytes`: the oldest messages are left out until it fits.
std::string EncodeRecentList(const RecentList& list, size_t max_bytes);
// False, with `*list` empty, for anything EncodeRecentList would not write.
bool DecodeRecentList(std::string_view text, RecentList* list);

// How many lines the panel shows, and what "… and N more" says: the count
// may hold messages the list has no names for (a mail rule's, or a batch
// over the fetch limit).
struct PanelExtent {
    size_t shown = 0;
    int64_t more = 0;
};
PanelExtent PanelLines(size_t listed, int lines_setting, int32_t count);

} // namespace mail
