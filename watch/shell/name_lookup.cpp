#include "watch/shell/name_lookup.h"

#include "watch/shell/tcp_socket.h"

namespace mail {

namespace {

    // Shared by the caller and the lookup thread; the last one out frees it,
    // so a lookup given up on finishes and cleans up by itself.
    struct Lookup {
        std::string host;
        std::string port;
        HANDLE done = nullptr;
        addrinfo* result = nullptr;
        int status = 0;
        LONG references = 2;

        void Release()
        {
            if (::InterlockedDecrement(&references) != 0)
                return;
            if (result)
                ::freeaddrinfo(result);
            ::CloseHandle(done);
            delete this;
        }
    };

    DWORD WINAPI RunLookup(void* parameter)
    {
        Lookup* lookup = static_cast<Lookup*>(parameter);
        addrinfo hints = {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        lookup->status = ::getaddrinfo(lookup->host.c_str(), lookup->port.c_str(), &hints, &lookup->result);
        ::SetEvent(lookup->done);
        lookup->Release();
        return 0;
    }

} // namespace

bool LookUpHost(const std::string& host, const std::string& port, const Deadline& deadline, HANDLE cancel,
    AddressList* addresses, std::string* failure)
{
    Lookup* lookup = new Lookup { host, port, ::CreateEventA(nullptr, TRUE, FALSE, nullptr) };
    const HANDLE thread = lookup->done ? ::CreateThread(nullptr, 0, RunLookup, lookup, 0, nullptr) : nullptr;
    if (!thread) {
        lookup->references = 1;
        lookup->Release();
        *failure = "cannot resolve " + host + ": no thread for the lookup";
        return false;
    }
    ::CloseHandle(thread);
    HANDLE waits[2] = { lookup->done, cancel };
    const DWORD waited = ::WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, deadline.remaining());
    if (waited != WAIT_OBJECT_0) {
        *failure = "cannot resolve " + host + (waited == WAIT_TIMEOUT ? ": timed out" : ": cancelled");
        lookup->Release();
        return false;
    }
    const int status = lookup->status;
    if (status == 0) {
        addresses->reset(lookup->result);
        lookup->result = nullptr;
    }
    lookup->Release();
    if (status != 0)
        *failure = "cannot resolve " + host + ": " + DescribeWinsockError(status);
    return status == 0;
}

} // namespace mail
