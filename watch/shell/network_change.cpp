#include "watch/shell/network_change.h"

// In this order: the address types first, or netioapi.h leaves out its calls.
#include <winsock2.h>
#include <ws2ipdef.h>

#include <iphlpapi.h>
#include <netioapi.h>

namespace mail {

namespace {

    // Only an address or interface that came or went moves connections;
    // parameter changes come often and change nothing for them. The context
    // is the window's handle itself: a late call after it is gone posts nowhere.
    void Tell(void* context, MIB_NOTIFICATION_TYPE type)
    {
        if (type == MibAddInstance || type == MibDeleteInstance)
            ::PostMessageA(static_cast<HWND>(context), kNetworkChanged, 0, 0);
    }

    void WINAPI OnAddress(void* context, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE type) { Tell(context, type); }

    void WINAPI OnInterface(void* context, MIB_IPINTERFACE_ROW*, MIB_NOTIFICATION_TYPE type) { Tell(context, type); }

} // namespace

NetworkChangeNotice::NetworkChangeNotice(HWND window)
{
    if (::NotifyUnicastIpAddressChange(AF_UNSPEC, &OnAddress, window, FALSE, &m_addresses) != NO_ERROR)
        m_addresses = nullptr;
    if (::NotifyIpInterfaceChange(AF_UNSPEC, &OnInterface, window, FALSE, &m_interfaces) != NO_ERROR)
        m_interfaces = nullptr;
}

NetworkChangeNotice::~NetworkChangeNotice()
{
    // Returns once no callback of this registration runs any more.
    if (m_addresses)
        ::CancelMibChangeNotify2(m_addresses);
    if (m_interfaces)
        ::CancelMibChangeNotify2(m_interfaces);
}

} // namespace mail
