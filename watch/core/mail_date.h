// The Date field of a message: RFC 5322 date-time, obsolete forms included.
#pragma once

#include <stdint.h>

#include <optional>
#include <string_view>

namespace mail {

// Seconds since 1970 UTC; nothing for a date that is not one.
std::optional<int64_t> ParseMailDate(std::string_view value);

} // namespace mail
