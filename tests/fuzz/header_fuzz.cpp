// A message header of arbitrary bytes: whatever it holds, what comes out is
// valid UTF-8 within the bound, with no control or direction-override
// character left to reach the panel.
#include <stdint.h>
#include <stdlib.h>

#include "tests/mailcore/table_converter.h"
#include "watch/core/header_text.h"
#include "watch/core/utf8_text.h"

namespace {

void CheckShown(const std::string& text)
{
    if (text.size() > mail::kShownFieldLimit || !mail::IsValidUtf8(text))
        abort();
    size_t at = 0;
    uint32_t code = 0;
    while (at < text.size()) {
        mail::NextCodePoint(text, &at, &code);
        if (code < 0x20 || (code >= 0x7f && code <= 0x9f) || (code >= 0x202a && code <= 0x202e)
            || (code >= 0x2066 && code <= 0x2069))
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TableConverter converter;
    const mail::MessageSummary summary = mail::SummarizeHeader(input, converter);
    CheckShown(summary.sender);
    CheckShown(summary.subject);
    CheckShown(mail::DecodeHeaderText(input, converter));
    return 0;
}
