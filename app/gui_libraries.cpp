#include "app/gui_libraries.h"

#include <windows.h>

bool LoadGuiLibraries()
{
    static const char* const names[] = { "user32.dll", "gdi32.dll" };
    for (const char* name : names) {
        if (!::LoadLibraryA(name))
            return false;
    }
    return true;
}
