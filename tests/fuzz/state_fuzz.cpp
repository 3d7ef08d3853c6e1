// The state and status file parsers on arbitrary bytes: whatever they accept
// must be exactly what their writers write.
#include <stdint.h>
#include <stdlib.h>

#include "watch/core/watch_state.h"
#include "watch/core/watch_status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    mail::WatchStatus status;
    if (mail::ParseStatusFile(input, &status) && mail::StatusFileText(status) != input)
        abort();
    mail::WatchState state, again;
    if (!mail::ParseWatchState(input, &state))
        return 0;
    std::string text = mail::SerializeWatchState(state);
    if (!mail::ParseWatchState(text, &again) || mail::SerializeWatchState(again) != text
        || again.size() != state.size())
        abort();
    return 0;
}
