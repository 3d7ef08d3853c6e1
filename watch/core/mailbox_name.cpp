#include "watch/core/mailbox_name.h"

#include "watch/core/mutf7.h"

namespace mail {

// The levels are joined before encoding: a delimiter such as "&" must be
// encoded like any other character of the name.
bool ServerMailboxName(std::string_view written, char delimiter, std::string* wire)
{
    std::string joined(written);
    if (delimiter != 0) {
        for (char& c : joined) {
            if (c == '/')
                c = delimiter;
        }
    }
    return Utf8ToMutf7(joined, wire);
}

} // namespace mail
