// Adds a PEM CA certificate to the current user's trusted roots.
//   trust_ca FILE
// Exit code 0, 2 on bad arguments, 3 when the file is unreadable, 4 when the
// store refuses.
#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::ifstream file(argv[1], std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string der(pem.size(), '\0');
    DWORD size = static_cast<DWORD>(der.size());
    if (pem.empty()
        || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
            reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr))
        return 3;
    const HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (!store)
        return 4;
    const BOOL done = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
        reinterpret_cast<const BYTE*>(der.data()), size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return done ? 0 : 4;
}
