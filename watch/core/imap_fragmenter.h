// Cuts the bytes an IMAP server sends into whole responses (a line, with any
// literals and the lines that follow them folded in) before anything parses
// them. Every size is checked before memory is taken, since the peer decides
// how much it sends.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>

namespace mail {

constexpr size_t kMaxResponseBytes = 1024 * 1024; // a SEARCH after a long absence can be long
constexpr size_t kMaxLiteralBytes = 64 * 1024;

class ImapFragmenter {
public:
    // Appends each response completed by `bytes` to `out`, without its final
    // CRLF. Returns false once a limit was exceeded; that error is sticky.
    bool feed(std::string_view bytes, std::deque<std::string>& out);

    bool failed() const { return failed_; }
    bool empty() const { return current_.empty(); } // no partial response held

private:
    bool fail();
    bool complete_line(std::deque<std::string>& out);

    std::string current_; // the response being assembled, never over kMaxResponseBytes
    size_t line_start_ = 0; // where the line being scanned begins in current_
    uint32_t literal_left_ = 0; // bytes of a literal still to come
    bool failed_ = false;
};

// The size announced by a line ending in "{n}", "{n+}" or "~{n}" (CRLF
// already removed). Returns false when the line announces no literal;
// `too_big` is set when it announces one over kMaxLiteralBytes.
bool AnnouncedLiteral(std::string_view line, uint32_t* size, bool* too_big);

} // namespace mail
