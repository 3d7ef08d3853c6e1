#include "watch/shell/tcp_socket.h"

#include <limits.h>
#include <mstcpip.h>

#include "watch/shell/name_lookup.h"

namespace mail {

namespace {

    // Winsock is started once per process and stopped when it ends.
    class WinsockSession {
    public:
        WinsockSession()
        {
            WSADATA data;
            m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }
        WinsockSession(const WinsockSession&) = delete;
        WinsockSession& operator=(const WinsockSession&) = delete;
        ~WinsockSession()
        {
            if (m_started)
                ::WSACleanup();
        }
        bool started() const { return m_started; }

    private:
        bool m_started = false;
    };

    // A peer that vanished without a word (sleep, a dropped Wi-Fi, a NAT that
    // forgot the mapping) leaves a connection that looks idle for ever: after
    // 2 minutes of silence the system asks the peer every 10 s, and a few
    // unanswered probes end the connection, also mid-IDLE. Without it the
    // protocol's own keep-alive still finds it, later.
    void KeepAlive(SOCKET socket)
    {
        tcp_keepalive values = {};
        values.onoff = 1;
        values.keepalivetime = 2 * 60 * 1000;
        values.keepaliveinterval = 10 * 1000;
        DWORD returned = 0;
        ::WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
    }

} // namespace

std::string DescribeWinsockError(int code)
{
    switch (code) {
    case WSAECONNREFUSED:
        return "connection refused";
    case WSAECONNRESET:
        return "connection reset";
    case WSAECONNABORTED:
        return "connection aborted";
    case WSAETIMEDOUT:
        return "timed out";
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return "unreachable";
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return "no such host";
    case WSATRY_AGAIN:
        return "name lookup failed, try again";
    default:
        return "Winsock error " + std::to_string(code);
    }
}

Deadline::Deadline(DWORD timeout_ms)
    : m_end(::GetTickCount64() + timeout_ms)
    , m_infinite(timeout_ms == INFINITE)
{
}

DWORD Deadline::remaining() const
{
    if (m_infinite)
        return INFINITE;
    const ULONGLONG now = ::GetTickCount64();
    return now >= m_end ? 0 : static_cast<DWORD>(m_end - now);
}

TcpSocket TcpSocket::Connect(
    const std::string& host, uint16_t port, const Deadline& deadline, HANDLE cancel, std::string* failure)
{
    static const WinsockSession session;
    const std::string where = host + ":" + std::to_string(port);
    if (!session.started()) {
        *failure = "cannot connect to " + where + ": Winsock did not start";
        return {};
    }

    AddressList addresses;
    if (!LookUpHost(host, std::to_string(port), deadline, cancel, &addresses, failure))
        return {};

    std::string reason = "no address";
    for (const addrinfo* address = addresses.head(); address; address = address->ai_next) {
        TcpSocket tcp;
        tcp.m_socket.reset(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        tcp.m_event.reset(::WSACreateEvent());
        // The event select also makes the socket non-blocking.
        if (!tcp.m_socket || !tcp.m_event
            || ::WSAEventSelect(tcp.m_socket.get(), tcp.m_event.get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE)
                != 0) {
            reason = DescribeWinsockError(::WSAGetLastError());
            continue;
        }
        KeepAlive(tcp.m_socket.get());
        if (::connect(tcp.m_socket.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0)
            return tcp;
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            reason = DescribeWinsockError(::WSAGetLastError());
            continue;
        }
        for (;;) {
            HANDLE waits[2] = { tcp.m_event.get(), cancel };
            const DWORD waited = ::WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, deadline.remaining());
            if (waited == WAIT_TIMEOUT) {
                *failure = "cannot connect to " + where + ": timed out";
                return {};
            }
            if (waited != WAIT_OBJECT_0) {
                *failure = "cannot connect to " + where + ": cancelled";
                return {};
            }
            WSANETWORKEVENTS events;
            if (::WSAEnumNetworkEvents(tcp.m_socket.get(), tcp.m_event.get(), &events) != 0) {
                reason = DescribeWinsockError(::WSAGetLastError());
                break;
            }
            if (!(events.lNetworkEvents & FD_CONNECT))
                continue;
            if (events.iErrorCode[FD_CONNECT_BIT] == 0)
                return tcp;
            reason = DescribeWinsockError(events.iErrorCode[FD_CONNECT_BIT]);
            break;
        }
    }
    *failure = "cannot connect to " + where + ": " + reason;
    return {};
}

IoResult TcpSocket::WaitForSocket(const Deadline& deadline, HANDLE other)
{
    HANDLE waits[2] = { m_event.get(), other };
    const DWORD waited = ::WaitForMultipleObjects(other ? 2 : 1, waits, FALSE, deadline.remaining());
    if (waited == WAIT_TIMEOUT)
        return IoResult::Timeout;
    if (waited == WAIT_OBJECT_0 + 1)
        return IoResult::Woken;
    if (waited != WAIT_OBJECT_0)
        return IoResult::Failed;
    WSANETWORKEVENTS events;
    return ::WSAEnumNetworkEvents(m_socket.get(), m_event.get(), &events) == 0 ? IoResult::Done : IoResult::Failed;
}

IoResult TcpSocket::SendAll(std::string_view bytes, const Deadline& deadline, std::string* failure)
{
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(bytes.size() < INT_MAX ? bytes.size() : INT_MAX);
        const int sent = ::send(m_socket.get(), bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            *failure = "send failed: " + DescribeWinsockError(error);
            return IoResult::Failed;
        }
        const IoResult waited = WaitForSocket(deadline, nullptr);
        if (waited == IoResult::Timeout) {
            *failure = "send timed out";
            return waited;
        }
        if (waited != IoResult::Done) {
            *failure = "send failed: cannot wait on the socket";
            return IoResult::Failed;
        }
    }
    return IoResult::Done;
}

IoResult TcpSocket::ReceiveSome(
    std::string* buffer, size_t max_bytes, const Deadline& deadline, HANDLE wake, std::string* failure)
{
    const size_t old_size = buffer->size();
    const int chunk = static_cast<int>(max_bytes < INT_MAX ? max_bytes : INT_MAX);
    for (;;) {
        buffer->resize(old_size + static_cast<size_t>(chunk));
        const int received = ::recv(m_socket.get(), &(*buffer)[old_size], chunk, 0);
        buffer->resize(old_size + static_cast<size_t>(received > 0 ? received : 0));
        if (received > 0)
            return IoResult::Done;
        if (received == 0)
            return IoResult::Closed;
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            *failure = "receive failed: " + DescribeWinsockError(error);
            return IoResult::Failed;
        }
        const IoResult waited = WaitForSocket(deadline, wake);
        if (waited == IoResult::Failed)
            *failure = "receive failed: cannot wait on the socket";
        if (waited != IoResult::Done)
            return waited;
    }
}

void TcpSocket::ShutdownSend()
{
    if (m_socket)
        ::shutdown(m_socket.get(), SD_SEND);
}

void TcpSocket::Reset()
{
    m_socket.reset();
    m_event.reset();
}

} // namespace mail
