#include "watch/shell/schannel_client.h"

#include <stdio.h>
#include <string.h>

namespace mail {

namespace {

    constexpr char kAlertContentType = 21;

    // SSPI allocates output tokens; they go back with FreeContextBuffer.
    struct ContextBuffer {
        void* data = nullptr;
        ContextBuffer() = default;
        ContextBuffer(const ContextBuffer&) = delete;
        ContextBuffer& operator=(const ContextBuffer&) = delete;
        ~ContextBuffer()
        {
            if (data)
                ::FreeContextBuffer(data);
        }
    };

    std::string StatusText(SECURITY_STATUS status)
    {
        const char* name = nullptr;
        switch (status) {
        case SEC_E_ALGORITHM_MISMATCH:
            name = "no protocol or cipher in common";
            break;
        case SEC_E_ILLEGAL_MESSAGE:
            name = "the server sent an alert or a malformed message";
            break;
        case SEC_E_DECRYPT_FAILURE:
        case SEC_E_MESSAGE_ALTERED:
            name = "a record failed its integrity check";
            break;
        case SEC_E_INTERNAL_ERROR:
            name = "internal error";
            break;
        default:
            break;
        }
        char code[16];
        snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        return name ? std::string(name) + " (" + code + ")" : std::string("SSPI status ") + code;
    }

    SECURITY_STATUS AcquireCredentials(DWORD protocols, CredHandle* credentials)
    {
        SCHANNEL_CRED data = {};
        data.dwVersion = SCHANNEL_CRED_VERSION;
        data.grbitEnabledProtocols = protocols;
        // The certificate is checked by hand after the handshake, every time;
        // strong crypto keeps older Windows from offering RC4 and the like.
        data.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
        TimeStamp expiry;
        return ::AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
            &data, nullptr, nullptr, credentials, &expiry);
    }

    // Keeps only the trailing bytes SSPI did not take.
    void KeepExtra(std::string* in, const SecBuffer& buffer)
    {
        const size_t extra = buffer.BufferType == SECBUFFER_EXTRA ? buffer.cbBuffer : 0;
        in->erase(0, in->size() - (extra < in->size() ? extra : in->size()));
    }

} // namespace

SchannelClient::SchannelClient(std::string host)
    : m_host(std::move(host))
    , m_requestFlags(ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY
          | ISC_REQ_STREAM)
{
}

SchannelClient::~SchannelClient()
{
    if (m_haveContext)
        ::DeleteSecurityContext(&m_context);
    if (m_haveCredentials)
        ::FreeCredentialsHandle(&m_credentials);
}

bool SchannelClient::Start(std::string* out, std::string* failure)
{
    // TLS 1.3 where this interface offers it; older SChannels refuse the flag.
    SECURITY_STATUS status = AcquireCredentials(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT, &m_credentials);
    if (status != SEC_E_OK)
        status = AcquireCredentials(SP_PROT_TLS1_2_CLIENT, &m_credentials);
    if (status != SEC_E_OK) {
        *failure = "TLS credentials refused: " + StatusText(status);
        return false;
    }
    m_haveCredentials = true;
    status = Step(nullptr, out);
    if (status != SEC_I_CONTINUE_NEEDED) {
        *failure = "TLS handshake could not start: " + StatusText(status);
        return false;
    }
    return true;
}

SECURITY_STATUS SchannelClient::Step(SecBufferDesc* input, std::string* out)
{
    SecBuffer outputs[2] = { { 0, SECBUFFER_TOKEN, nullptr }, { 0, SECBUFFER_ALERT, nullptr } };
    SecBufferDesc output = { SECBUFFER_VERSION, 2, outputs };
    ULONG returnedFlags = 0;
    TimeStamp expiry;
    const SECURITY_STATUS status = ::InitializeSecurityContextA(&m_credentials, m_haveContext ? &m_context : nullptr,
        const_cast<char*>(m_host.c_str()), m_requestFlags, 0, 0, input, 0, m_haveContext ? nullptr : &m_context,
        &output, &returnedFlags, &expiry);
    ContextBuffer token, alert;
    token.data = outputs[0].pvBuffer;
    alert.data = outputs[1].pvBuffer;
    if (!m_haveContext && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK))
        m_haveContext = true;
    if ((status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK) && token.data && outputs[0].cbBuffer)
        out->append(static_cast<const char*>(token.data), outputs[0].cbBuffer);
    return status;
}

SchannelClient::Status SchannelClient::Handshake(std::string* in, std::string* out, std::string* failure)
{
    while (!in->empty()) {
        SecBuffer inputs[2]
            = { { static_cast<ULONG>(in->size()), SECBUFFER_TOKEN, in->data() }, { 0, SECBUFFER_EMPTY, nullptr } };
        SecBufferDesc input = { SECBUFFER_VERSION, 2, inputs };
        const SECURITY_STATUS status = Step(&input, out);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return Status::NeedData;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !(m_requestFlags & ISC_REQ_USE_SUPPLIED_CREDS)) {
            // The server asks for a client certificate; go on without one.
            m_requestFlags |= ISC_REQ_USE_SUPPLIED_CREDS;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            *failure = "TLS handshake with " + m_host + " failed: " + StatusText(status);
            return Status::Failed;
        }
        KeepExtra(in, inputs[1]);
        if (status == SEC_E_OK) {
            const SECURITY_STATUS sizes = ::QueryContextAttributesA(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
            if (sizes != SEC_E_OK || m_sizes.cbMaximumMessage == 0) {
                *failure = "TLS stream sizes unavailable: " + StatusText(sizes);
                return Status::Failed;
            }
            return Status::Done;
        }
    }
    return Status::NeedData;
}

bool SchannelClient::Encrypt(std::string_view plain, std::string* out, std::string* failure)
{
    while (!plain.empty()) {
        const size_t length = plain.size() < m_sizes.cbMaximumMessage ? plain.size() : m_sizes.cbMaximumMessage;
        const size_t base = out->size();
        out->resize(base + m_sizes.cbHeader + length + m_sizes.cbTrailer);
        char* record = &(*out)[base];
        memcpy(record + m_sizes.cbHeader, plain.data(), length);
        SecBuffer buffers[4] = { { m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, record },
            { static_cast<ULONG>(length), SECBUFFER_DATA, record + m_sizes.cbHeader },
            { m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + m_sizes.cbHeader + length },
            { 0, SECBUFFER_EMPTY, nullptr } };
        SecBufferDesc message = { SECBUFFER_VERSION, 4, buffers };
        const SECURITY_STATUS status = ::EncryptMessage(&m_context, 0, &message, 0);
        if (status != SEC_E_OK) {
            out->resize(base);
            *failure = "TLS encryption failed: " + StatusText(status);
            return false;
        }
        out->resize(base + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        plain.remove_prefix(length);
    }
    return true;
}

SchannelClient::Status SchannelClient::Decrypt(
    std::string* in, std::string* plain, std::string* out, std::string* failure)
{
    if (m_renegotiating) {
        const Status status = Handshake(in, out, failure);
        if (status == Status::Done)
            m_renegotiating = false;
        return status == Status::Done ? Status::Renegotiated : status;
    }
    if (in->empty())
        return Status::NeedData;
    // Wine answers a close_notify with SEC_E_OK and no data; the record's
    // content type (an alert, visible in TLS 1.2) tells it apart.
    const bool alertRecord = (*in)[0] == kAlertContentType;
    SecBuffer buffers[4] = { { static_cast<ULONG>(in->size()), SECBUFFER_DATA, in->data() },
        { 0, SECBUFFER_EMPTY, nullptr }, { 0, SECBUFFER_EMPTY, nullptr }, { 0, SECBUFFER_EMPTY, nullptr } };
    SecBufferDesc message = { SECBUFFER_VERSION, 4, buffers };
    const SECURITY_STATUS status = ::DecryptMessage(&m_context, &message, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return Status::NeedData;
    if (status == SEC_I_CONTEXT_EXPIRED) {
        in->clear();
        return Status::Closed;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
        *failure = "TLS record from " + m_host + " refused: " + StatusText(status);
        return Status::Failed;
    }
    // The plaintext lies inside `in`: copy it before the record is dropped.
    const SecBuffer* extra = nullptr;
    size_t decrypted = 0;
    for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer) {
            plain->append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
            decrypted += buffer.cbBuffer;
        }
        if (buffer.BufferType == SECBUFFER_EXTRA)
            extra = &buffer;
    }
    if (status == SEC_E_OK && alertRecord && decrypted == 0) {
        in->clear();
        return Status::Closed;
    }
    if (extra)
        KeepExtra(in, *extra);
    else
        in->clear();
    // A new handshake (or, in TLS 1.3, a ticket or key update) follows; its
    // bytes are what was left over, and they go to the handshake.
    if (status != SEC_I_RENEGOTIATE)
        return Status::Done;
    m_renegotiating = true;
    return in->empty() ? AnswerRenegotiation(out, failure) : Status::Done;
}

SchannelClient::Status SchannelClient::AnswerRenegotiation(std::string* out, std::string* failure)
{
    // With nothing left over the server waits for our hello: ask for it now,
    // with an empty token as curl does. Wine 8 cannot answer a server's
    // renegotiation at all; IMAP servers do not start one.
    char none = 0;
    SecBuffer inputs[2] = { { 0, SECBUFFER_TOKEN, &none }, { 0, SECBUFFER_EMPTY, nullptr } };
    SecBufferDesc input = { SECBUFFER_VERSION, 2, inputs };
    const SECURITY_STATUS status = Step(&input, out);
    if (status == SEC_E_OK) {
        m_renegotiating = false;
        return Status::Renegotiated;
    }
    if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE)
        return Status::Done;
    *failure = "TLS renegotiation with " + m_host + " failed: " + StatusText(status);
    return Status::Failed;
}

std::string SchannelClient::CloseNotify()
{
    std::string out;
    if (!m_haveContext)
        return out;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token = { sizeof type, SECBUFFER_TOKEN, &type };
    SecBufferDesc control = { SECBUFFER_VERSION, 1, &token };
    if (::ApplyControlToken(&m_context, &control) == SEC_E_OK)
        Step(nullptr, &out);
    return out;
}

win32::UniqueCertContext SchannelClient::RemoteCertificate() const
{
    PCCERT_CONTEXT certificate = nullptr;
    if (::QueryContextAttributesA(const_cast<CtxtHandle*>(&m_context), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate)
        != SEC_E_OK)
        return win32::UniqueCertContext();
    return win32::UniqueCertContext(certificate);
}

} // namespace mail
