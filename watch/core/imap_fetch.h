// The header fields a UID FETCH brought back: "* n FETCH (UID u
// BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {size}CRLF<bytes>)", its items in
// any order, with whatever else the server adds (FLAGS, say) passed over.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "watch/core/header_text.h"

namespace mail {

// The command for the newest kHeaderFetchBatch of `uids` (any order).
std::string HeaderFetchCommand(std::vector<uint32_t> uids);

// False when `response` (as the fragmenter cut it) is not a FETCH with both
// a UID and a BODY[HEADER.FIELDS ...] section.
bool ParseFetchHeader(std::string_view response, uint32_t* uid, std::string* header);

} // namespace mail
