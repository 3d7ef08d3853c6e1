// Folders as the settings name them (UTF-8, "/" between levels) and as the
// server names them (its own hierarchy delimiter, in modified UTF-7).
#pragma once

#include <string>
#include <string_view>

namespace mail {

// The delimiter comes from the server's answer to LIST "" ""; 0 stands for
// NIL (a flat namespace), where names are sent as written. False when the
// name is not valid UTF-8.
bool ServerMailboxName(std::string_view written, char delimiter, std::string* wire);

} // namespace mail
