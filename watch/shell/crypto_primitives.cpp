#include "watch/shell/crypto_primitives.h"

#include <windows.h>

#include <bcrypt.h>

#include "win32/net_handles.h"

namespace mail {

std::string RandomBytes(size_t count)
{
    std::string bytes(count, '\0');
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(
            nullptr, reinterpret_cast<PUCHAR>(&bytes[0]), static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return {};
    return bytes;
}

std::string Sha256Of(std::string_view bytes)
{
    win32::UniqueHashAlgorithm algorithm;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return {};
    win32::UniqueHash hash;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0)))
        return {};
    std::string digest(32, '\0');
    if (!BCRYPT_SUCCESS(::BCryptHashData(
            hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0))
        || !BCRYPT_SUCCESS(
            ::BCryptFinishHash(hash.get(), reinterpret_cast<UCHAR*>(&digest[0]), static_cast<ULONG>(digest.size()), 0)))
        return {};
    return digest;
}

} // namespace mail
