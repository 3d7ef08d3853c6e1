#include "watch/core/imap_fragmenter.h"

#include "watch/core/ascii_text.h"

namespace mail {

bool AnnouncedLiteral(std::string_view line, uint32_t* size, bool* too_big)
{
    *too_big = false;
    if (line.empty() || line.back() != '}')
        return false;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '+')
        line.remove_suffix(1);
    size_t digits = 0;
    while (digits < line.size() && line[line.size() - 1 - digits] >= '0' && line[line.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0 || digits == line.size() || line[line.size() - 1 - digits] != '{')
        return false;
    uint64_t value = 0;
    *too_big = !ParseDecimal(line.substr(line.size() - digits), kMaxLiteralBytes, &value); // all digits: only too big
    *size = static_cast<uint32_t>(value);
    return true;
}

bool ImapFragmenter::fail()
{
    failed_ = true;
    current_.clear();
    current_.shrink_to_fit();
    return false;
}

// A line has just ended (its LF is the last byte of current_): either it
// announces a literal, or the response is whole.
bool ImapFragmenter::complete_line(std::deque<std::string>& out)
{
    std::string_view line(current_);
    line = line.substr(line_start_, line.size() - line_start_ - 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    uint32_t size = 0;
    bool too_big = false;
    if (AnnouncedLiteral(line, &size, &too_big)) {
        if (too_big || current_.size() + size > kMaxResponseBytes)
            return fail();
        literal_left_ = size;
        line_start_ = current_.size() + size;
        return true;
    }
    current_.resize(line_start_ + line.size());
    out.push_back(std::move(current_));
    current_.clear();
    line_start_ = 0;
    return true;
}

bool ImapFragmenter::feed(std::string_view bytes, std::deque<std::string>& out)
{
    if (failed_)
        return false;
    while (!bytes.empty()) {
        if (literal_left_ > 0) {
            size_t take = bytes.size() < literal_left_ ? bytes.size() : literal_left_;
            current_.append(bytes.data(), take); // room was checked when the literal was announced
            literal_left_ -= static_cast<uint32_t>(take);
            bytes.remove_prefix(take);
            continue;
        }
        size_t newline = bytes.find('\n');
        size_t take = newline == std::string_view::npos ? bytes.size() : newline + 1;
        if (current_.size() + take > kMaxResponseBytes)
            return fail();
        current_.append(bytes.data(), take);
        bytes.remove_prefix(take);
        if (newline != std::string_view::npos && !complete_line(out))
            return false;
    }
    return true;
}

} // namespace mail
