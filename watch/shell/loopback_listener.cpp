#include "watch/shell/loopback_listener.h"

#include <ws2tcpip.h>

#include "watch/shell/tcp_socket.h"

namespace mail {

namespace {

    // A browser that opened a connection and says nothing does not hold the sign-in up long.
    constexpr DWORD kRequestLimitMs = 5 * 1000;

    // Reads one request head and answers it; the outcome of that request.
    RedirectOutcome Serve(SOCKET client, std::string_view state, Redirect* redirect)
    {
        DWORD limit = kRequestLimitMs;
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        std::string head;
        RedirectOutcome outcome = RedirectOutcome::Incomplete;
        while (outcome == RedirectOutcome::Incomplete) {
            char buffer[1024];
            const int read = ::recv(client, buffer, sizeof buffer, 0);
            if (read <= 0)
                return RedirectOutcome::Other;
            head.append(buffer, static_cast<size_t>(read));
            outcome = ReadRedirect(head, state, redirect);
        }
        const std::string answer = RedirectAnswer(outcome, redirect->error);
        ::send(client, answer.data(), static_cast<int>(answer.size()), 0);
        ::shutdown(client, SD_SEND);
        return outcome;
    }

} // namespace

LoopbackListener::LoopbackListener()
{
    WSADATA data;
    m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

LoopbackListener::~LoopbackListener()
{
    m_socket.reset();
    if (m_started)
        ::WSACleanup();
}

bool LoopbackListener::Open(std::string* why)
{
    m_socket.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    BOOL exclusive = TRUE; // no other program may bind the same port and see the code
    if (!m_started || !m_socket
        || ::setsockopt(m_socket.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive)
            != 0
        || ::bind(m_socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_socket.get(), 4) != 0
        || ::getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *why = "cannot listen on 127.0.0.1: " + DescribeWinsockError(::WSAGetLastError());
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

RedirectOutcome LoopbackListener::Wait(std::string_view state, DWORD limit_ms, Redirect* redirect, std::string* why)
{
    const Deadline deadline(limit_ms);
    for (DWORD left = deadline.remaining(); left > 0; left = deadline.remaining()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket.get(), &readable);
        timeval wait = { static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000 };
        const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0) {
            *why = "the sign-in listener failed: " + DescribeWinsockError(::WSAGetLastError());
            return RedirectOutcome::Other;
        }
        if (ready == 0)
            continue;
        const win32::UniqueSocket client(::accept(m_socket.get(), nullptr, nullptr));
        if (!client)
            continue;
        const RedirectOutcome outcome = Serve(client.get(), state, redirect);
        if (outcome == RedirectOutcome::Code || outcome == RedirectOutcome::Error)
            return outcome;
    }
    *why = "no answer from the browser within 5 minutes";
    return RedirectOutcome::Other;
}

} // namespace mail
