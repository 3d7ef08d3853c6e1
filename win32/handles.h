// Owners of the kernel, memory, GDI and window handles the programs keep.
#pragma once

#include <windows.h>

#include "win32/unique_any.h"

namespace win32 {

using UniqueHandle = UniqueAny<HANDLE, ::CloseHandle>;
// CreateFile and CreateNamedPipe say "no handle" with INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, ::CloseHandle, -1>;
using UniqueLocal = UniqueAny<HLOCAL, ::LocalFree>;
using UniqueModule = UniqueAny<HMODULE, ::FreeLibrary>;
using UniqueSid = UniqueAny<PSID, ::FreeSid>;
using UniqueFileView = UniqueAny<void*, ::UnmapViewOfFile>;
using UniqueRegKey = UniqueAny<HKEY, ::RegCloseKey>;
using UniqueRgn = UniqueAny<HRGN, ::DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, ::DeleteObject>;
using UniqueFont = UniqueAny<HFONT, ::DeleteObject>;
using UniqueMemoryDC = UniqueAny<HDC, ::DeleteDC>;
using UniqueIcon = UniqueAny<HICON, ::DestroyIcon>;
using UniqueMenu = UniqueAny<HMENU, ::DestroyMenu>;
using UniqueWindow = UniqueAny<HWND, ::DestroyWindow>;

} // namespace win32
