// Tells a window when the machine gains or loses an IP address or interface
// (a new network, a cable, a VPN): connections made before may be dead.
#pragma once

#include <windows.h>

namespace mail {

constexpr UINT kNetworkChanged = WM_APP + 1;

class NetworkChangeNotice {
public:
    // Posts kNetworkChanged to `window` from the system's thread; the window
    // does the rest on its own thread.
    explicit NetworkChangeNotice(HWND window);
    NetworkChangeNotice(const NetworkChangeNotice&) = delete;
    NetworkChangeNotice& operator=(const NetworkChangeNotice&) = delete;
    ~NetworkChangeNotice();

    bool registered() const { return m_addresses != nullptr || m_interfaces != nullptr; }

private:
    // From NotifyUnicastIpAddressChange and NotifyIpInterfaceChange; each is
    // cancelled once, by the destructor.
    HANDLE m_addresses = nullptr;
    HANDLE m_interfaces = nullptr;
};

} // namespace mail
