// Owners of the network edge's handles: sockets, certificates, hashes.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include "win32/unique_any.h"

namespace win32 {

inline void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm) noexcept
{
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
}

using UniqueSocket = UniqueAny<SOCKET, ::closesocket, static_cast<intptr_t>(INVALID_SOCKET)>;
using UniqueWsaEvent = UniqueAny<WSAEVENT, ::WSACloseEvent>;
using UniqueCertContext = UniqueAny<PCCERT_CONTEXT, ::CertFreeCertificateContext>;
using UniqueCertChain = UniqueAny<PCCERT_CHAIN_CONTEXT, ::CertFreeCertificateChain>;
using UniqueHashAlgorithm = UniqueAny<BCRYPT_ALG_HANDLE, CloseAlgorithmProvider>;
using UniqueHash = UniqueAny<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>;

} // namespace win32
