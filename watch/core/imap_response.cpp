#include "watch/core/imap_response.h"

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    bool IsAtomChar(char c)
    {
        unsigned char u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7f && c != '(' && c != ')' && c != '{' && c != '%' && c != '*' && c != '"' && c != '\\'
            && c != ']';
    }

    // Reads the bytes up to the next space (or `stop`) and moves past them.
    std::string_view Word(std::string_view& rest, char stop = ' ')
    {
        size_t end = 0;
        while (end < rest.size() && rest[end] != ' ' && rest[end] != stop)
            ++end;
        std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        return word;
    }

    bool SkipSpace(std::string_view& rest)
    {
        if (rest.empty() || rest[0] != ' ')
            return false;
        rest.remove_prefix(1);
        return true;
    }

    bool ParseCapabilityList(std::string_view list, ImapResponse* out)
    {
        out->has_capabilities = true;
        out->capabilities.clear();
        while (!list.empty()) {
            std::string_view name = Word(list);
            if (name.empty() || (!list.empty() && !SkipSpace(list)))
                return false;
            out->capabilities.push_back(UpperAscii(name));
        }
        return true;
    }

    // resp-text: an optional "[CODE args]" and free text.
    bool ParseRespText(std::string_view rest, ImapResponse* out)
    {
        if (!rest.empty() && rest[0] == '[') {
            rest.remove_prefix(1);
            size_t close = rest.find(']');
            if (close == std::string_view::npos)
                return false;
            std::string_view inside = rest.substr(0, close);
            rest.remove_prefix(close + 1);
            std::string_view atom = Word(inside);
            if (atom.empty())
                return false;
            for (char c : atom) {
                if (!IsAtomChar(c))
                    return false;
            }
            out->code = UpperAscii(atom);
            std::string_view args = inside.empty() ? inside : inside.substr(1);
            if (out->code == "CAPABILITY" && !ParseCapabilityList(args, out))
                return false;
            if ((out->code == "UIDVALIDITY" || out->code == "UIDNEXT") && !ParseUint32(args, &out->code_number))
                return false;
            if (!rest.empty() && rest[0] == ' ')
                rest.remove_prefix(1);
        }
        out->text = std::string(rest);
        return true;
    }

    bool ParseStatus(std::string_view word, ImapResponse::Status* status)
    {
        using Status = ImapResponse::Status;
        const struct {
            const char* name;
            Status status;
        } names[] = { { "OK", Status::Ok }, { "NO", Status::No }, { "BAD", Status::Bad }, { "BYE", Status::Bye },
            { "PREAUTH", Status::Preauth } };
        for (const auto& name : names) {
            if (EqualsIgnoringCase(word, name.name)) {
                *status = name.status;
                return true;
            }
        }
        return false;
    }

    // "* SEARCH 4 9 12", possibly followed by a "(MODSEQ n)" the watcher ignores.
    bool ParseSearch(std::string_view rest, ImapResponse* out)
    {
        while (SkipSpace(rest)) {
            if (!rest.empty() && rest[0] == '(')
                return true;
            uint32_t uid = 0;
            if (!ParseUint32(Word(rest), &uid))
                return false;
            out->search.push_back(uid);
        }
        return rest.empty();
    }

    // "* LIST (\Noselect) "/" name": only the delimiter matters, a quoted
    // character (maybe escaped) or NIL.
    bool ParseList(std::string_view rest, ImapResponse* out)
    {
        if (!SkipSpace(rest) || rest.empty() || rest[0] != '(')
            return false;
        size_t close = rest.find(')');
        if (close == std::string_view::npos)
            return false;
        rest.remove_prefix(close + 1);
        if (!SkipSpace(rest))
            return false;
        if (rest.size() >= 3 && EqualsIgnoringCase(rest.substr(0, 3), "NIL")) {
            out->list_delimiter = 0;
            return true;
        }
        if (rest.size() >= 4 && rest[0] == '"' && rest[1] == '\\' && (rest[2] == '"' || rest[2] == '\\')
            && rest[3] == '"') {
            out->list_delimiter = rest[2];
            return true;
        }
        unsigned char c = rest.size() >= 3 ? static_cast<unsigned char>(rest[1]) : 0;
        if (rest.size() < 3 || rest[0] != '"' || rest[2] != '"' || c < 0x20 || c > 0x7e || c == '"' || c == '\\')
            return false;
        out->list_delimiter = rest[1];
        return true;
    }

    // "* 5 FETCH (FLAGS (\Seen) UID 12)": only the UID matters. A quoted string
    // or a literal ends the look, so their contents are never taken for items.
    bool ParseFetchUid(std::string_view rest, ImapResponse* out)
    {
        int depth = 0;
        while (!rest.empty() && rest[0] != '"' && rest[0] != '{') {
            if (rest[0] == '(' || rest[0] == ')' || rest[0] == ' ') {
                depth += rest[0] == '(' ? 1 : rest[0] == ')' ? -1 : 0;
                rest.remove_prefix(1);
            } else if (EqualsIgnoringCase(Word(rest, ')'), "UID") && depth == 1) {
                return SkipSpace(rest) && ParseUint32(Word(rest, ')'), &out->fetch_uid) && out->fetch_uid > 0;
            }
        }
        return true;
    }

    bool ParseUntagged(std::string_view rest, ImapResponse* out)
    {
        using Data = ImapResponse::Data;
        std::string_view first = Word(rest);
        if (!first.empty() && first[0] >= '0' && first[0] <= '9') {
            if (!ParseUint32(first, &out->number) || !SkipSpace(rest))
                return false;
            std::string_view name = Word(rest);
            out->data = EqualsIgnoringCase(name, "EXISTS") ? Data::Exists
                : EqualsIgnoringCase(name, "EXPUNGE")      ? Data::Expunge
                : EqualsIgnoringCase(name, "FETCH")        ? Data::Fetch
                                                           : Data::Other;
            return !name.empty() && (out->data != Data::Fetch || ParseFetchUid(rest, out));
        }
        if (ParseStatus(first, &out->status)) {
            if (!rest.empty() && !SkipSpace(rest))
                return false;
            return ParseRespText(rest, out);
        }
        if (EqualsIgnoringCase(first, "CAPABILITY")) {
            out->data = Data::Capability;
            return SkipSpace(rest) && ParseCapabilityList(rest, out);
        }
        if (EqualsIgnoringCase(first, "SEARCH")) {
            out->data = Data::Search;
            return ParseSearch(rest, out);
        }
        if (EqualsIgnoringCase(first, "LIST")) {
            out->data = Data::List;
            return ParseList(rest, out);
        }
        out->data = EqualsIgnoringCase(first, "FLAGS") ? Data::Flags : Data::Other;
        return !first.empty();
    }

} // namespace

bool HasCapability(const std::vector<std::string>& capabilities, std::string_view name)
{
    for (const std::string& capability : capabilities) {
        if (EqualsIgnoringCase(capability, name))
            return true;
    }
    return false;
}

bool ParseResponse(std::string_view line, ImapResponse* out)
{
    *out = ImapResponse();
    if (line.size() >= 1 && line[0] == '+') {
        out->kind = ImapResponse::Kind::Continuation;
        out->text = std::string(line.substr(line.size() >= 2 ? 2 : 1));
        return true;
    }
    if (line.size() >= 2 && line[0] == '*' && line[1] == ' ') {
        out->kind = ImapResponse::Kind::Untagged;
        return ParseUntagged(line.substr(2), out);
    }
    out->kind = ImapResponse::Kind::Tagged;
    std::string_view rest = line;
    std::string_view tag = Word(rest);
    for (char c : tag) {
        if (!IsAtomChar(c) || c == '+')
            return false;
    }
    if (tag.empty() || !SkipSpace(rest))
        return false;
    out->tag = std::string(tag);
    if (!ParseStatus(Word(rest), &out->status) || out->status == ImapResponse::Status::Bye
        || out->status == ImapResponse::Status::Preauth)
        return false;
    if (!rest.empty() && !SkipSpace(rest))
        return false;
    return ParseRespText(rest, out);
}

} // namespace mail
