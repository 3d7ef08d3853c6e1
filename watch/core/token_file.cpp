#include "watch/core/token_file.h"

#include "watch/core/ascii_text.h"

namespace mail {

std::string TokenFileName(std::string_view account)
{
    return "larkbellwatch-" + PercentEncode(account, "-_") + ".token";
}

} // namespace mail
