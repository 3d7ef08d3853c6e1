#include "watch/core/pop3_count.h"

#include <string_view>
#include <unordered_set>

namespace mail {

Pop3Tally CountNewIds(const Pop3Seen& seen, const std::vector<std::string>& listed, size_t cap)
{
    Pop3Tally tally;
    tally.next.known = true;
    size_t first = listed.size() > cap ? listed.size() - cap : 0;
    std::unordered_set<std::string_view> before;
    if (seen.known && !seen.by_count)
        before.insert(seen.ids.begin(), seen.ids.end());
    std::unordered_set<std::string_view> kept;
    for (size_t i = first; i < listed.size(); ++i) {
        if (!kept.insert(listed[i]).second)
            continue; // a server that lists an id twice still holds one message
        tally.next.ids.push_back(listed[i]);
        if (seen.known && !seen.by_count && before.count(listed[i]) == 0)
            ++tally.new_messages;
    }
    tally.changed = !seen.known || seen.by_count || tally.next.ids != seen.ids;
    return tally;
}

Pop3Tally CountByMessages(const Pop3Seen& seen, uint32_t messages)
{
    Pop3Tally tally;
    tally.next.known = true;
    tally.next.by_count = true;
    tally.next.messages = messages;
    if (seen.known && seen.by_count && messages > seen.messages)
        tally.new_messages = messages - seen.messages;
    tally.changed = !seen.known || !seen.by_count || messages != seen.messages;
    return tally;
}

} // namespace mail
