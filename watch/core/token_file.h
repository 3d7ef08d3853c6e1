// Where an account's refresh token is kept: a file of its own beside the
// settings, so that it can be replaced whole, named after the account in
// characters any file system takes.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// "larkbellwatch-NAME.token" with every byte of NAME outside [A-Za-z0-9-_]
// written as %XX, so two accounts never share a file.
std::string TokenFileName(std::string_view account);

} // namespace mail
