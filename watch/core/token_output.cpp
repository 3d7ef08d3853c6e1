#include "watch/core/token_output.h"

namespace mail {

bool TokenFromOutput(std::string_view output, std::string* token, std::string* why)
{
    token->clear();
    size_t end = output.find('\n');
    if (end == std::string_view::npos && output.size() >= kMaxTokenOutput) {
        *why = "its first line is longer than 16 KiB";
        return false;
    }
    std::string_view line = output.substr(0, end);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.empty()) {
        *why = output.empty() ? "it printed nothing" : "its first line is empty";
        return false;
    }
    for (char c : line) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            *why = "its first line holds control characters";
            return false;
        }
    }
    token->assign(line);
    return true;
}

} // namespace mail
