#include <winsock2.h>

#include "watch/shell/mail_stream.h"

#include "watch/shell/cert_check.h"
#include "watch/shell/schannel_client.h"
#include "watch/shell/tcp_socket.h"

namespace mail {

namespace {

    // One TLS record is at most 5 + 16384 + 2048 bytes; the buffer holds one
    // whole record and the start of the next. A certificate chain may take
    // a few records before SChannel consumes any.
    constexpr size_t kMaxRecordBuffer = 34 * 1024;
    constexpr size_t kMaxHandshakeBuffer = 64 * 1024;
    // Send has no timeout of its own: a peer that takes nothing for this long
    // is gone. close_notify gets little time, so stopping stays quick.
    constexpr DWORD kSendTimeoutMs = 30 * 1000;
    constexpr DWORD kCloseNotifyTimeoutMs = 500;

    MailStream::ReadResult ToReadResult(IoResult result)
    {
        switch (result) {
        case IoResult::Done:
            return MailStream::ReadResult::Data;
        case IoResult::Timeout:
            return MailStream::ReadResult::Timeout;
        case IoResult::Woken:
            return MailStream::ReadResult::Woken;
        case IoResult::Closed:
            return MailStream::ReadResult::Closed;
        case IoResult::Failed:
            break;
        }
        return MailStream::ReadResult::Failed;
    }

    class SocketMailStream final : public MailStream {
    public:
        SocketMailStream(TcpSocket socket, std::string host)
            : m_socket(std::move(socket))
            , m_host(std::move(host))
        {
        }
        ~SocketMailStream() override { Close(); }

        bool StartTls(const TlsPolicy& policy, DWORD timeout_ms, HANDLE cancel, StreamError* error) override;
        bool encrypted() const override { return m_encrypted; }
        bool Send(std::string_view bytes, StreamError* error) override;
        ReadResult Receive(
            std::string* out, size_t max_bytes, DWORD timeout_ms, HANDLE wake, StreamError* error) override;
        void Close() override;

    private:
        bool Fail(StreamError* error, std::string text);
        // Reads more ciphertext into m_cipher, within `limit` bytes in all.
        ReadResult ReadCipher(size_t limit, const Deadline& deadline, HANDLE wake, StreamError* error);
        bool Verify(StreamError* error);

        TcpSocket m_socket;
        std::string m_host;
        std::unique_ptr<SchannelClient> m_tls;
        TlsPolicy m_policy;
        std::string m_cipher; // received, not yet decrypted
        std::string m_plain; // decrypted, not yet handed out
        std::string m_verifiedCertificate; // encoded; a renegotiation must keep it
        bool m_encrypted = false;
        bool m_unusable = false; // refused or failed: nothing more is sent
        bool m_closed = false;
    };

    bool SocketMailStream::Fail(StreamError* error, std::string text)
    {
        m_unusable = true;
        error->text = std::move(text);
        error->refused_sha256_hex.clear();
        return false;
    }

    MailStream::ReadResult SocketMailStream::ReadCipher(
        size_t limit, const Deadline& deadline, HANDLE wake, StreamError* error)
    {
        if (m_cipher.size() >= limit) {
            Fail(error, "TLS record from " + m_host + " too large");
            return ReadResult::Failed;
        }
        const IoResult result = m_socket.ReceiveSome(&m_cipher, limit - m_cipher.size(), deadline, wake, &error->text);
        if (result == IoResult::Failed)
            Fail(error, m_host + ": " + error->text);
        return ToReadResult(result);
    }

    bool SocketMailStream::Verify(StreamError* error)
    {
        const win32::UniqueCertContext certificate = m_tls->RemoteCertificate();
        if (!CheckServerCertificate(certificate.get(), m_policy, error)) {
            m_unusable = true;
            return false;
        }
        const std::string encoded(
            reinterpret_cast<const char*>(certificate.get()->pbCertEncoded), certificate.get()->cbCertEncoded);
        if (!m_verifiedCertificate.empty() && encoded != m_verifiedCertificate)
            return Fail(error, "certificate refused for " + m_policy.host + ": changed during renegotiation");
        m_verifiedCertificate = encoded;
        return true;
    }

    bool SocketMailStream::StartTls(const TlsPolicy& policy, DWORD timeout_ms, HANDLE cancel, StreamError* error)
    {
        if (m_tls || m_unusable || m_closed)
            return Fail(error, "TLS cannot start on this connection to " + m_host);
        const Deadline deadline(timeout_ms);
        m_policy = policy;
        m_tls = std::make_unique<SchannelClient>(policy.host);
        std::string out;
        if (!m_tls->Start(&out, &error->text))
            return Fail(error, error->text);
        for (;;) {
            if (!out.empty() && m_socket.SendAll(out, deadline, &error->text) != IoResult::Done)
                return Fail(error, "TLS handshake with " + m_host + ": " + error->text);
            out.clear();
            // Bytes may be waiting from the last read: try them before reading more.
            const SchannelClient::Status status = m_tls->Handshake(&m_cipher, &out, &error->text);
            if (status == SchannelClient::Status::Failed)
                return Fail(error, error->text);
            if (status == SchannelClient::Status::Done)
                break;
            if (!out.empty())
                continue; // send first, then wait for the answer
            switch (ReadCipher(kMaxHandshakeBuffer, deadline, cancel, error)) {
            case ReadResult::Data:
                continue;
            case ReadResult::Timeout:
                return Fail(error, "TLS handshake with " + m_host + " timed out");
            case ReadResult::Woken:
                return Fail(error, "TLS handshake with " + m_host + " cancelled");
            case ReadResult::Closed:
                return Fail(error, m_host + " closed the connection during the TLS handshake");
            case ReadResult::Failed:
                return false;
            }
        }
        // The last flight of a handshake, if any, still goes out.
        if (!out.empty() && m_socket.SendAll(out, deadline, &error->text) != IoResult::Done)
            return Fail(error, "TLS handshake with " + m_host + ": " + error->text);
        if (!Verify(error))
            return false;
        m_encrypted = true;
        return true;
    }

    bool SocketMailStream::Send(std::string_view bytes, StreamError* error)
    {
        if (m_unusable || m_closed)
            return Fail(error, "connection to " + m_host + " is closed");
        std::string record;
        if (m_encrypted && !m_tls->Encrypt(bytes, &record, &error->text))
            return Fail(error, error->text);
        const std::string_view wire = m_encrypted ? std::string_view(record) : bytes;
        if (m_socket.SendAll(wire, Deadline(kSendTimeoutMs), &error->text) != IoResult::Done)
            return Fail(error, m_host + ": " + error->text);
        return true;
    }

    MailStream::ReadResult SocketMailStream::Receive(
        std::string* out, size_t max_bytes, DWORD timeout_ms, HANDLE wake, StreamError* error)
    {
        if (m_unusable || m_closed) {
            error->text = "connection to " + m_host + " is closed";
            return ReadResult::Failed;
        }
        if (max_bytes == 0) {
            error->text = "nothing may be read";
            return ReadResult::Failed;
        }
        const Deadline deadline(timeout_ms);
        if (!m_encrypted) {
            const IoResult result = m_socket.ReceiveSome(out, max_bytes, deadline, wake, &error->text);
            if (result == IoResult::Failed)
                Fail(error, m_host + ": " + error->text);
            return ToReadResult(result);
        }
        std::string handshake;
        while (m_plain.empty()) {
            handshake.clear();
            const SchannelClient::Status status = m_tls->Decrypt(&m_cipher, &m_plain, &handshake, &error->text);
            if (!handshake.empty() && m_socket.SendAll(handshake, deadline, &error->text) != IoResult::Done) {
                Fail(error, "TLS renegotiation with " + m_host + ": " + error->text);
                return ReadResult::Failed;
            }
            if (status == SchannelClient::Status::Failed) {
                m_unusable = true;
                return ReadResult::Failed;
            }
            if (status == SchannelClient::Status::Closed)
                return ReadResult::Closed;
            if (status == SchannelClient::Status::Renegotiated && !Verify(error))
                return ReadResult::Failed;
            if (status != SchannelClient::Status::NeedData)
                continue;
            const ReadResult read = ReadCipher(kMaxRecordBuffer, deadline, wake, error);
            if (read != ReadResult::Data)
                return read;
        }
        const size_t taken = m_plain.size() < max_bytes ? m_plain.size() : max_bytes;
        out->append(m_plain, 0, taken);
        m_plain.erase(0, taken);
        return ReadResult::Data;
    }

    void SocketMailStream::Close()
    {
        if (m_closed)
            return;
        m_closed = true;
        if (m_encrypted && !m_unusable) {
            std::string ignored;
            m_socket.SendAll(m_tls->CloseNotify(), Deadline(kCloseNotifyTimeoutMs), &ignored);
        }
        if (!m_unusable)
            m_socket.ShutdownSend();
        m_socket.Reset();
    }

} // namespace

std::unique_ptr<MailStream> MailStream::Connect(
    const std::string& host, uint16_t port, DWORD timeout_ms, HANDLE cancel, StreamError* error)
{
    TcpSocket socket = TcpSocket::Connect(host, port, Deadline(timeout_ms), cancel, &error->text);
    if (!socket.valid())
        return nullptr;
    return std::make_unique<SocketMailStream>(std::move(socket), host);
}

} // namespace mail
