#include "watch/core/imap_command.h"

namespace mail {

namespace {

    // Quoted strings hold 7-bit text without CR, LF or NUL.
    bool NeedsLiteral(std::string_view value)
    {
        for (char c : value) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u == 0 || u == '\r' || u == '\n' || u >= 0x80)
                return true;
        }
        return false;
    }

} // namespace

void AppendImapString(std::vector<std::string>& pieces, std::string_view value, bool literal_plus)
{
    std::string& out = pieces.back();
    if (!NeedsLiteral(value)) {
        out += '"';
        for (char c : value) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        out += '"';
        return;
    }
    out += '{' + std::to_string(value.size()) + (literal_plus ? "+}\r\n" : "}\r\n");
    if (literal_plus)
        out.append(value);
    else
        pieces.emplace_back(value);
}

} // namespace mail
