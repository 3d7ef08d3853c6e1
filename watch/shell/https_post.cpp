#include "watch/shell/https_post.h"

#include <winhttp.h>

#include "watch/core/oauth_settings.h"
#include "watch/core/token_answer.h"
#include "watch/shell/cert_check.h"
#include "win32/error_text.h"
#include "win32/net_handles.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace mail {

namespace {

    using UniqueInternet = win32::UniqueAny<HINTERNET, ::WinHttpCloseHandle>;

    std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

    std::string Failed(const char* what, const std::string& host)
    {
        const DWORD error = ::GetLastError();
        const bool tls = error == ERROR_WINHTTP_SECURE_FAILURE || error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
        return win32::ErrorText(std::string("WinHTTP could not ") + what, host, error)
            + (tls ? ": TLS failed or the certificate was refused" : "");
    }

    // Windows 8.1 and later follow the user's proxy settings themselves;
    // older systems take the machine's WinHTTP proxy.
    UniqueInternet OpenSession()
    {
        UniqueInternet session(::WinHttpOpen(
            L"larkbell", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session)
            session.reset(::WinHttpOpen(
                L"larkbell", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        return session;
    }

    bool CheckCertificate(HINTERNET request, const std::string& host, std::string* why)
    {
        PCCERT_CONTEXT raw = nullptr;
        DWORD size = sizeof raw;
        if (!::WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size))
            raw = nullptr;
        const win32::UniqueCertContext certificate(raw);
        StreamError error;
        if (CheckServerCertificate(certificate.get(), TlsPolicy { host, {} }, &error))
            return true;
        *why = error.text;
        return false;
    }

    bool ReadBody(HINTERNET request, std::string* body, std::string* why)
    {
        char buffer[8192];
        for (;;) {
            DWORD read = 0;
            if (!::WinHttpReadData(request, buffer, sizeof buffer, &read)) {
                *why = "reading the answer failed";
                return false;
            }
            if (read == 0)
                return true;
            if (body->size() + read > kMaxTokenAnswer) {
                *why = "the answer is longer than 64 KiB";
                return false;
            }
            body->append(buffer, read);
        }
    }

} // namespace

bool PostForm(const std::string& url, const std::string& form, DWORD timeout_ms, HttpsAnswer* answer, std::string* why)
{
    HttpsUrl target;
    if (!ParseHttpsUrl(url, &target)) {
        *why = "not an https:// address: " + url;
        return false;
    }
    const UniqueInternet session = OpenSession();
    if (!session) {
        *why = Failed("open a session for", target.host);
        return false;
    }
    const int ms = static_cast<int>(timeout_ms);
    ::WinHttpSetTimeouts(session.get(), ms, ms, ms, ms);
    const UniqueInternet connection(::WinHttpConnect(session.get(), Widen(target.host).c_str(), target.port, 0));
    const UniqueInternet request(connection
            ? ::WinHttpOpenRequest(connection.get(), L"POST", Widen(target.path).c_str(), nullptr, WINHTTP_NO_REFERER,
                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
            : nullptr);
    if (!request) {
        *why = Failed("connect to", target.host);
        return false;
    }
    // No cookies, no redirect to follow with the secrets, no stored credentials.
    DWORD options = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_AUTHENTICATION;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &options, sizeof options);
    static const wchar_t kHeaders[]
        = L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
    // The head goes first, without the body: the certificate is known only
    // once the connection stands, and the body must not go to a server it refuses.
    if (!::WinHttpSendRequest(request.get(), kHeaders, static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
            static_cast<DWORD>(form.size()), 0)) {
        *why = Failed("send a request to", target.host);
        return false;
    }
    if (!CheckCertificate(request.get(), target.host, why))
        return false;
    DWORD written = 0;
    if (!::WinHttpWriteData(request.get(), form.data(), static_cast<DWORD>(form.size()), &written)
        || written != form.size() || !::WinHttpReceiveResponse(request.get(), nullptr)) {
        *why = Failed("send a request to", target.host);
        return false;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        *why = Failed("read the answer of", target.host);
        return false;
    }
    answer->status = static_cast<int>(status);
    answer->body.clear();
    return ReadBody(request.get(), &answer->body, why);
}

} // namespace mail
