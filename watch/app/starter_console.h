// larkbellwatch is a Windows-subsystem program: it has no console of its own,
// so what a command-line action did goes to the console it was started from.
#pragma once

#include <string>

namespace mail {

// One line to the redirected standard output (or error), or else to the
// parent's console; nothing when there is neither.
void SayToStarter(const std::string& line, bool error);

} // namespace mail
