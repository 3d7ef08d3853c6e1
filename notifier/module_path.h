// Files that sit beside the executable and bear its base name.
#pragma once

#include <stddef.h>

// Formats "<drive><dir><base name>.<extension>" from the running executable's
// path; only the last extension is replaced. Built afresh on every call.
void ModuleSiblingPath(const char* extension, char* path, size_t size);

// Formats "<drive><dir><file name>": another file in the executable's folder.
void ModuleFolderPath(const char* fileName, char* path, size_t size);

// The settings file and the skin strip.
inline void SettingsPath(char* path, size_t size) { ModuleSiblingPath("ini", path, size); }
inline void SkinPath(char* path, size_t size) { ModuleSiblingPath("bmp", path, size); }
