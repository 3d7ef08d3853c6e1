#include "win32/error_text.h"

namespace win32 {

std::string ErrorText(std::string_view what, std::string_view subject, DWORD error)
{
    std::string text(what);
    if (!subject.empty())
        text.append(" ").append(subject);
    return text + " (error " + std::to_string(error) + ")";
}

} // namespace win32
