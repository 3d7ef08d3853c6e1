// The one way a Win32 failure is put into words for a log or a message.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win32 {

// "<what> <subject> (error <code>)", or "<what> (error <code>)" without a
// subject; the code is the thread's last error unless one is given.
std::string ErrorText(std::string_view what, std::string_view subject = {}, DWORD error = ::GetLastError());

} // namespace win32
