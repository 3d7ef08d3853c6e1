// What counts on a POP3 account: the unique ids (UIDL) the server lists that
// the watcher has not seen before. Pure, over plain data.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "watch/core/session_contract.h"

namespace mail {

constexpr size_t kMaxPop3SeenIds = 20000;
constexpr size_t kMaxPop3IdBytes = 70; // RFC 1939: 1 to 70 characters from 0x21 to 0x7E

struct Pop3Tally {
    uint32_t new_messages = 0;
    bool changed = false; // `next` differs from what was seen: persist it
    Pop3Seen next;
};

// `listed` is the UIDL listing in message order (oldest first). Only the
// newest `cap` ids are looked at: new mail is appended at the end, and a
// mailbox larger than the cap must not count its oldest messages every time.
// Ids no longer listed are forgotten.
Pop3Tally CountNewIds(const Pop3Seen& seen, const std::vector<std::string>& listed, size_t cap = kMaxPop3SeenIds);

// For a server without UIDL: messages beyond the number held last time. A
// mailbox that lost some and gained as many counts nothing, so this is only
// approximate.
Pop3Tally CountByMessages(const Pop3Seen& seen, uint32_t messages);

} // namespace mail
