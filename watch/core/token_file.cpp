#include "token_file.h"

namespace mail {

std::string TokenFileName(std::string_view account)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string name = "larkbellwatch-";
    for (char c : account) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool plain
            = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (plain) {
            name += c;
        } else {
            name += '%';
            name += kHex[u >> 4];
            name += kHex[u & 15];
        }
    }
    return name + ".token";
}

} // namespace mail
