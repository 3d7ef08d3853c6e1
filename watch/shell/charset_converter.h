// The header decoder's code pages are Windows' own conversions.
#pragma once

#include "watch/core/charset.h"

namespace mail {

class WindowsCharsetConverter : public CharsetConverter {
public:
    bool ToUtf8(unsigned code_page, std::string_view bytes, std::string* utf8) const override;
};

} // namespace mail
