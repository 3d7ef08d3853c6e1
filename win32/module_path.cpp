#include "win32/module_path.h"

#include <windows.h>

#include <stdlib.h>

namespace win32 {

std::string ModulePath()
{
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, sizeof module);
    return module;
}

std::string ModuleSiblingPath(const char* extension)
{
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    char name[_MAX_FNAME] = {};
    _splitpath(ModulePath().c_str(), drive, dir, name, nullptr);
    return std::string(drive) + dir + name + "." + extension;
}

std::string ModuleFolderPath(const char* fileName)
{
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    _splitpath(ModulePath().c_str(), drive, dir, nullptr, nullptr);
    return std::string(drive) + dir + fileName;
}

} // namespace win32
