// Modified UTF-7 on arbitrary bytes, both ways: an accepted name has one
// spelling, so decoding then encoding gives it back, and the other way round.
#include <stdint.h>
#include <stdlib.h>

#include "watch/core/mutf7.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string utf8, mutf7;
    if (mail::Mutf7ToUtf8(input, &utf8) && (!mail::Utf8ToMutf7(utf8, &mutf7) || mutf7 != input))
        abort();
    if (mail::Utf8ToMutf7(input, &mutf7) && (!mail::Mutf7ToUtf8(mutf7, &utf8) || utf8 != input))
        abort();
    return 0;
}
