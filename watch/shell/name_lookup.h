// Name resolution that keeps to a deadline and a cancel event, though
// getaddrinfo itself can neither time out nor be cancelled.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace mail {

class Deadline;

// The addresses found, freed with freeaddrinfo.
class AddressList {
public:
    AddressList() = default;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    ~AddressList() { reset(nullptr); }
    void reset(addrinfo* head)
    {
        if (m_head)
            ::freeaddrinfo(m_head);
        m_head = head;
    }
    const addrinfo* head() const { return m_head; }

private:
    addrinfo* m_head = nullptr;
};

// Fills `addresses` and returns true, or says why not in `failure`.
bool LookUpHost(const std::string& host, const std::string& port, const Deadline& deadline, HANDLE cancel,
    AddressList* addresses, std::string* failure);

} // namespace mail
