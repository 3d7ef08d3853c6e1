// Files that sit beside the running executable. Built afresh on every call.
#pragma once

#include <string>

namespace win32 {

// The executable's full path.
std::string ModulePath();

// "<drive><dir><base name>.<extension>": only the last extension is replaced.
std::string ModuleSiblingPath(const char* extension);

// "<drive><dir><file name>": another file in the executable's folder.
std::string ModuleFolderPath(const char* fileName);

} // namespace win32
