// The DLLs a program loads from its start to its exit, seen as its debugger.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Runs `commandLine` to its end under the debug API and returns the file
// names (without folders, lower case) of the DLLs it loaded; empty when it
// could not be started or did not end within the limit.
std::vector<std::string> ModulesLoadedBy(const std::string& commandLine);

} // namespace bench
