#include "watch/core/token_file.h"

#include "watch/core/ascii_text.h"

namespace mail {

std::string TokenFileName(std::string_view account)
{
    std::string name = "larkbellwatch-";
    for (char c : account) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool plain
            = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (plain) {
            name += c;
        } else {
            name += '%';
            name += HexDigit(u >> 4);
            name += HexDigit(u & 15);
        }
    }
    return name + ".token";
}

} // namespace mail
