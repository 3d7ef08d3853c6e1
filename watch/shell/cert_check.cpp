// The chain parameters carry a time limit for fetching missing issuers.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS

#include "watch/shell/cert_check.h"

#include <stdio.h>

#include "watch/shell/crypto_primitives.h"
#include "win32/net_handles.h"

namespace mail {

namespace {

    // Windows may fetch an issuer the server left out; not for long.
    constexpr DWORD kIssuerFetchTimeoutMs = 10 * 1000;

    // Why a chain's trust status refuses it, in the log's words.
    std::string TrustStatusReason(DWORD status)
    {
        if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
            return "untrusted root";
        if (status & CERT_TRUST_IS_NOT_TIME_VALID)
            return "expired";
        if (status & CERT_TRUST_IS_REVOKED)
            return "revoked";
        if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
            return "not for server use";
        if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
            return "bad signature";
        char text[32];
        snprintf(text, sizeof text, "chain error 0x%08lX", static_cast<unsigned long>(status));
        return text;
    }

    std::string PolicyReason(DWORD error)
    {
        switch (error) {
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
            return "name mismatch";
        case static_cast<DWORD>(CERT_E_EXPIRED):
            return "expired";
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
        case static_cast<DWORD>(CERT_E_CHAINING):
            return "untrusted root";
        case static_cast<DWORD>(CERT_E_WRONG_USAGE):
            return "not for server use";
        case static_cast<DWORD>(CRYPT_E_REVOKED):
            return "revoked";
        default:
            break;
        }
        char text[32];
        snprintf(text, sizeof text, "policy error 0x%08lX", static_cast<unsigned long>(error));
        return text;
    }

    // The empty string when the chain passes; the reason otherwise.
    std::string ChainReason(PCCERT_CONTEXT certificate, const std::string& host)
    {
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        char* usages[] = { serverAuth };
        CERT_CHAIN_PARA chainPara = {};
        chainPara.cbSize = sizeof chainPara;
        chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
        chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        chainPara.dwUrlRetrievalTimeout = kIssuerFetchTimeoutMs;
        win32::UniqueCertChain chain;
        // The server's intermediates travel in the certificate's own store.
        if (!::CertGetCertificateChain(
                nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0, nullptr, chain.put()))
            return "no chain could be built";
        // Wine's SSL policy passes a partial chain from an unknown CA: only
        // the trust status bits show it, so every bit refuses.
        if (chain.get()->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR)
            return TrustStatusReason(chain.get()->TrustStatus.dwErrorStatus);

        std::wstring wideHost(host.size(), L'\0');
        const int length = ::MultiByteToWideChar(
            CP_ACP, 0, host.data(), static_cast<int>(host.size()), &wideHost[0], static_cast<int>(wideHost.size()));
        wideHost.resize(length > 0 ? static_cast<size_t>(length) : 0);
        if (wideHost.empty())
            return "no host name to check";
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA sslPara = {};
        sslPara.cbSize = sizeof sslPara;
        sslPara.dwAuthType = AUTHTYPE_SERVER;
        sslPara.pwszServerName = &wideHost[0];
        CERT_CHAIN_POLICY_PARA policyPara = {};
        policyPara.cbSize = sizeof policyPara;
        policyPara.pvExtraPolicyPara = &sslPara;
        CERT_CHAIN_POLICY_STATUS policyStatus = {};
        policyStatus.cbSize = sizeof policyStatus;
        if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policyPara, &policyStatus))
            return "the SSL policy could not be checked";
        return policyStatus.dwError == 0 ? std::string() : PolicyReason(policyStatus.dwError);
    }

} // namespace

std::string CertificateSha256(PCCERT_CONTEXT certificate)
{
    return Sha256Of(
        std::string_view(reinterpret_cast<const char*>(certificate->pbCertEncoded), certificate->cbCertEncoded));
}

std::string HexPairs(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char byte : bytes) {
        if (!text.empty())
            text += ':';
        text += digits[static_cast<unsigned char>(byte) >> 4];
        text += digits[static_cast<unsigned char>(byte) & 15];
    }
    return text;
}

bool CheckServerCertificate(PCCERT_CONTEXT certificate, const TlsPolicy& policy, StreamError* error)
{
    const std::string fingerprint = certificate ? CertificateSha256(certificate) : std::string();
    std::string reason;
    if (!certificate)
        reason = "no certificate";
    else if (fingerprint.empty())
        reason = "no fingerprint";
    else if (!policy.pinned_sha256.empty())
        reason = fingerprint == policy.pinned_sha256 ? std::string() : "pin mismatch";
    else
        reason = ChainReason(certificate, policy.host);
    if (reason.empty())
        return true;
    error->refused_sha256_hex = HexPairs(fingerprint);
    error->text = "certificate refused for " + policy.host + ": " + reason;
    if (!fingerprint.empty())
        error->text += ", SHA-256 " + error->refused_sha256_hex;
    return false;
}

} // namespace mail
