// A non-blocking TCP connection that waits only in WaitForMultipleObjects, on
// its socket event and the caller's cancel or wake event, so an idle
// connection costs no CPU.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <stdint.h>

#include <string>
#include <string_view>

#include "win32/net_handles.h"

namespace mail {

// The time left for one operation; INFINITE never runs out.
class Deadline {
public:
    explicit Deadline(DWORD timeout_ms);
    DWORD remaining() const;

private:
    ULONGLONG m_end;
    bool m_infinite;
};

// A short English text for a Winsock or getaddrinfo error code.
std::string DescribeWinsockError(int code);

enum class IoResult { Done, Timeout, Woken, Closed, Failed };

class TcpSocket {
public:
    TcpSocket() = default;

    // Tries every address of `host` in turn until one connects. On failure
    // the socket stays empty and `failure` says why.
    static TcpSocket Connect(
        const std::string& host, uint16_t port, const Deadline& deadline, HANDLE cancel, std::string* failure);

    bool valid() const { return m_socket.valid(); }

    // Done once every byte is handed to the system.
    IoResult SendAll(std::string_view bytes, const Deadline& deadline, std::string* failure);
    // Done when at least one byte was appended to `buffer` (at most max_bytes).
    IoResult ReceiveSome(
        std::string* buffer, size_t max_bytes, const Deadline& deadline, HANDLE wake, std::string* failure);

    void ShutdownSend();
    void Reset();

private:
    // Ready when the socket reported something; clears the event.
    IoResult WaitForSocket(const Deadline& deadline, HANDLE other);

    win32::UniqueSocket m_socket;
    win32::UniqueWsaEvent m_event;
};

} // namespace mail
