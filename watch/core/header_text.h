// Who wrote and what about, from a message's header as the server sent it:
// bounded, unfolded, RFC 2047 encoded words decoded, raw UTF-8 taken as it
// is and other raw 8-bit bytes as code page 932, and made fit to show.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <string_view>

#include "watch/core/charset.h"

namespace mail {

constexpr size_t kHeaderLimit = 8192; // bytes of one message's header looked at
constexpr size_t kHeaderFetchBatch = 20; // headers fetched for one count: the newest this many
constexpr size_t kShownFieldLimit = 512; // bytes of UTF-8 kept of a sender or subject

struct MessageSummary {
    std::string sender; // display name, else the address; UTF-8
    std::string subject; // UTF-8
    std::optional<int64_t> date; // the Date field, seconds since 1970 UTC
};

MessageSummary SummarizeHeader(std::string_view header, const CharsetConverter& converter);

// An unstructured field's value (after unfolding) as UTF-8 fit to show.
std::string DecodeHeaderText(std::string_view value, const CharsetConverter& converter);

// The first mailbox of a From field: its display name, else its address.
std::string DecodeSender(std::string_view value, const CharsetConverter& converter);

// A phrase as text: a quoted-string's content unescaped, comments dropped.
std::string PhraseText(std::string_view phrase);

} // namespace mail
