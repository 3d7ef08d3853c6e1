// One form POST over WinHTTP, so the user's proxy settings apply. The
// server's certificate passes the mail path's own checks (chain, every
// trust bit, SSL policy with the host name) before the body, which carries
// the secrets, is sent; the answer is read up to 64 KiB.
#pragma once

#include <windows.h>

#include <string>

namespace mail {

struct HttpsAnswer {
    int status = 0;
    std::string body;
};

// False, with one line in *why (never the body), when no complete answer
// arrived: no connection, a refused certificate, a timeout, an answer over
// the limit.
bool PostForm(const std::string& url, const std::string& form, DWORD timeout_ms, HttpsAnswer* answer, std::string* why);

} // namespace mail
