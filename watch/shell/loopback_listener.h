// The one-shot listener of the browser sign-in: 127.0.0.1 at a port the
// system picks, serving one connection at a time until the awaited
// redirect arrives or the time runs out. Anything else gets a 400 page.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>

#include "watch/core/loopback_redirect.h"
#include "win32/net_handles.h"

namespace mail {

class LoopbackListener {
public:
    LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener();

    bool Open(std::string* why);
    uint16_t port() const { return m_port; }

    // Code or Error once the redirect with `state` came; Other when the
    // time ran out or the listener failed, with *why.
    RedirectOutcome Wait(std::string_view state, DWORD limit_ms, Redirect* redirect, std::string* why);

private:
    bool m_started = false;
    win32::UniqueSocket m_socket;
    uint16_t m_port = 0;
};

} // namespace mail
