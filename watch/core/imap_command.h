// Arguments of the commands the watcher sends: a quoted string where IMAP
// allows one, otherwise a literal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mail {

// Appends `value` (a user name, a password, a mailbox) to pieces.back(). A
// synchronising literal "{n}" ends that piece: the value starts the next one,
// which goes out only after the server's "+". With LITERAL+ ("{n+}") the
// value follows at once.
void AppendImapString(std::vector<std::string>& pieces, std::string_view value, bool literal_plus);

} // namespace mail
