// A connection to a mail server: TCP, then TLS through Windows' own SChannel
// (at once, or after STARTTLS), with the server certificate validated here
// every time, because SChannel under Wine checks nothing by itself.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>

namespace mail {

struct TlsPolicy {
    std::string host; // the name the certificate must carry
    std::string pinned_sha256; // 32 raw bytes, or empty: trust the store
};

struct StreamError {
    std::string text; // one line for the log: what failed and why
    std::string refused_sha256_hex; // a refused certificate's fingerprint ("AB:CD:..."), else empty
};

class MailStream {
public:
    // Resolves and connects within timeout_ms; gives up early when `cancel`
    // (a manual-reset event, may be null) is signalled. Null on failure.
    static std::unique_ptr<MailStream> Connect(
        const std::string& host, uint16_t port, DWORD timeout_ms, HANDLE cancel, StreamError* error);
    virtual ~MailStream() = default;

    // Handshake, then validation (chain against the trust store, SSL policy
    // with the host name, every trust-status error bit; or the pin). After a
    // refusal nothing more is ever sent on this stream.
    virtual bool StartTls(const TlsPolicy& policy, DWORD timeout_ms, HANDLE cancel, StreamError* error) = 0;
    virtual bool encrypted() const = 0;

    // All of `bytes`, or false after 30 s in which the peer took nothing.
    virtual bool Send(std::string_view bytes, StreamError* error) = 0;

    enum class ReadResult { Data, Timeout, Woken, Closed, Failed };
    // Appends decrypted bytes to `out` (at most max_bytes at a time). Waits up
    // to timeout_ms, or until `wake` (may be null) is signalled.
    virtual ReadResult Receive(std::string* out, size_t max_bytes, DWORD timeout_ms, HANDLE wake, StreamError* error)
        = 0;

    // close_notify when encrypted, then shutdown. Idempotent.
    virtual void Close() = 0;
};

} // namespace mail
