// One whole server response (as the fragmenter cut it) parsed into the few
// things the watcher acts on. Anything it does not need is kept as Other.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace mail {

struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    enum class Status { None, Ok, No, Bad, Bye, Preauth };
    enum class Data { None, Capability, Exists, Expunge, Search, Flags, List, Fetch, Other };

    Kind kind = Kind::Untagged;
    std::string tag; // Tagged only
    Status status = Status::None; // status responses (tagged, or * OK/NO/BAD/BYE/PREAUTH)
    Data data = Data::None; // untagged data responses
    uint32_t number = 0; // n of "* n EXISTS" / "* n EXPUNGE"
    std::vector<uint32_t> search; // "* SEARCH ..."
    uint32_t fetch_uid = 0; // "* n FETCH (... UID u ...)", 0 when not given
    char list_delimiter = 0; // "* LIST (...) "/" ...": the hierarchy delimiter, 0 for NIL
    // From "* CAPABILITY ..." or a [CAPABILITY ...] code, upper-cased.
    std::vector<std::string> capabilities;
    bool has_capabilities = false;
    std::string code; // response code atom, upper-cased: "UIDVALIDITY", "ALERT", ...
    uint32_t code_number = 0; // UIDVALIDITY / UIDNEXT argument
    std::string text; // human-readable text after the code
};

// False when `line` is not a response the watcher can understand; a number
// that does not fit in 32 bits is such a failure.
bool ParseResponse(std::string_view line, ImapResponse* out);

bool HasCapability(const std::vector<std::string>& capabilities, std::string_view name);

} // namespace mail
