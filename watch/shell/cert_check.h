// The server certificate check done by hand after every handshake: SChannel
// under Wine accepts any certificate and any name by itself.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <string_view>

#include "watch/shell/mail_stream.h"

namespace mail {

// 32 raw bytes, or empty when the hash is unavailable.
std::string CertificateSha256(PCCERT_CONTEXT certificate);

// Uppercase hex pairs separated by colons.
std::string HexPairs(std::string_view bytes);

// True when the certificate may be used: with a pin, exactly the pinned one;
// otherwise a chain to a trusted root with no error bit at all, passing the
// SSL policy for policy.host. A refusal fills `error`.
bool CheckServerCertificate(PCCERT_CONTEXT certificate, const TlsPolicy& policy, StreamError* error);

} // namespace mail
