#include "module_path.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

void ModuleSiblingPath(const char* extension, char* path, size_t size)
{
    char module[MAX_PATH] = {};
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    char name[_MAX_FNAME] = {};
    char ext[_MAX_EXT] = {};
    ::GetModuleFileNameA(nullptr, module, sizeof module);
    _splitpath(module, drive, dir, name, ext);
    snprintf(path, size, "%s%s%s.%s", drive, dir, name, extension);
}

void ModuleFolderPath(const char* fileName, char* path, size_t size)
{
    char module[MAX_PATH] = {};
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    ::GetModuleFileNameA(nullptr, module, sizeof module);
    _splitpath(module, drive, dir, nullptr, nullptr);
    snprintf(path, size, "%s%s%s", drive, dir, fileName);
}
