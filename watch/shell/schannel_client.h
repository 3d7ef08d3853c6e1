// The TLS client side of SChannel as steps with no I/O: the caller feeds the
// bytes it received and sends the bytes each step asks it to send.
#pragma once

#include <windows.h>

#include <schannel.h>
#include <security.h>

#include <string>
#include <string_view>

#include "win32/net_handles.h"

namespace mail {

class SchannelClient {
public:
    enum class Status {
        NeedData, // feed more received bytes, then call again
        Done, // the step finished (for Decrypt: one record taken)
        Renegotiated, // a handshake after the first one finished: check the certificate again
        Closed, // the server sent close_notify
        Failed,
    };

    explicit SchannelClient(std::string host);
    SchannelClient(const SchannelClient&) = delete;
    SchannelClient& operator=(const SchannelClient&) = delete;
    ~SchannelClient();

    // Credentials and the first flight, appended to `out`; the host name goes
    // out as SNI.
    bool Start(std::string* out, std::string* failure);

    // Takes what it can from `in` (bytes that belong to the next record stay
    // there) and appends what must be sent to `out`.
    Status Handshake(std::string* in, std::string* out, std::string* failure);

    // Splits at the largest message the session allows.
    bool Encrypt(std::string_view plain, std::string* out, std::string* failure);

    // Decrypts at most one record from `in` into `plain`. During a
    // renegotiation it runs the handshake and may append to `out`.
    Status Decrypt(std::string* in, std::string* plain, std::string* out, std::string* failure);

    // The close_notify alert to send; empty when there is none.
    std::string CloseNotify();

    win32::UniqueCertContext RemoteCertificate() const;

private:
    SECURITY_STATUS Step(SecBufferDesc* input, std::string* out);
    Status AnswerRenegotiation(std::string* out, std::string* failure);

    std::string m_host;
    CredHandle m_credentials = {};
    CtxtHandle m_context = {};
    bool m_haveCredentials = false;
    bool m_haveContext = false;
    bool m_renegotiating = false;
    ULONG m_requestFlags;
    SecPkgContext_StreamSizes m_sizes = {};
};

} // namespace mail
