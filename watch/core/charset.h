// Bytes in a MIME charset to UTF-8. The code pages themselves are the
// platform's: the core only names them and hands the bytes to a converter,
// except for what it can do exactly by arithmetic (UTF-8, ASCII, and the two
// JIS encodings, which become Shift_JIS and then code page 932).
#pragma once

#include <string>
#include <string_view>

namespace mail {

constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePageCp932 = 932;

class CharsetConverter {
public:
    virtual ~CharsetConverter() = default;
    // False when the code page is unknown here or the bytes are not valid in it.
    virtual bool ToUtf8(unsigned code_page, std::string_view bytes, std::string* utf8) const = 0;
};

// False for a charset name this program does not know; `*utf8` is then
// untouched. Names are matched without regard to case.
bool CharsetToUtf8(
    std::string_view charset, std::string_view bytes, const CharsetConverter& converter, std::string* utf8);

// JIS X 0208 row and cell bytes (0x21 to 0x7E each) as the two Shift_JIS bytes.
void JisToShiftJis(unsigned char j1, unsigned char j2, std::string* out);

} // namespace mail
