// Owners for the handle kinds of the mail stream's network edge.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include "unique_any.h"

namespace mail {

struct SocketTraits {
    using pointer = SOCKET;
    static pointer invalid() noexcept { return INVALID_SOCKET; }
    static void close(pointer s) noexcept { ::closesocket(s); }
};

struct WsaEventTraits {
    using pointer = WSAEVENT;
    static pointer invalid() noexcept { return WSA_INVALID_EVENT; }
    static void close(pointer e) noexcept { ::WSACloseEvent(e); }
};

struct CertContextTraits {
    using pointer = PCCERT_CONTEXT;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer c) noexcept { ::CertFreeCertificateContext(c); }
};

struct CertChainTraits {
    using pointer = PCCERT_CHAIN_CONTEXT;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer c) noexcept { ::CertFreeCertificateChain(c); }
};

struct HashAlgorithmTraits {
    using pointer = BCRYPT_ALG_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer a) noexcept { ::BCryptCloseAlgorithmProvider(a, 0); }
};

struct HashTraits {
    using pointer = BCRYPT_HASH_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::BCryptDestroyHash(h); }
};

using UniqueSocket = fw::UniqueAny<SocketTraits>;
using UniqueWsaEvent = fw::UniqueAny<WsaEventTraits>;
using UniqueCertContext = fw::UniqueAny<CertContextTraits>;
using UniqueCertChain = fw::UniqueAny<CertChainTraits>;
using UniqueHashAlgorithm = fw::UniqueAny<HashAlgorithmTraits>;
using UniqueHash = fw::UniqueAny<HashTraits>;

} // namespace mail
