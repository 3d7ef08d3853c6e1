// The state file parser on arbitrary bytes: whatever it accepts must
// serialize and parse back to the same thing.
#include <stdint.h>
#include <stdlib.h>

#include "watch/core/watch_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mail::WatchState state, again;
    if (!mail::ParseWatchState(std::string_view(reinterpret_cast<const char*>(data), size), &state))
        return 0;
    std::string text = mail::SerializeWatchState(state);
    if (!mail::ParseWatchState(text, &again) || mail::SerializeWatchState(again) != text
        || again.size() != state.size())
        abort();
    return 0;
}
