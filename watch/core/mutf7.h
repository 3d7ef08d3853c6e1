// Mailbox names on the wire are IMAP's modified UTF-7 (RFC 3501 5.1.3):
// printable ASCII as itself, "&" as "&-", anything else as UTF-16 in a
// base64 variant between "&" and "-".
#pragma once

#include <string>
#include <string_view>

namespace mail {

// Both return false on input that is not valid UTF-8, or not valid modified
// UTF-7 (including non-canonical forms), leaving *out partly filled.
bool Utf8ToMutf7(std::string_view utf8, std::string* out);
bool Mutf7ToUtf8(std::string_view mutf7, std::string* out);

} // namespace mail
