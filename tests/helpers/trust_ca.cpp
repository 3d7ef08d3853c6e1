// Adds a CA certificate to the current user's trusted roots, or removes it.
//   trust_ca add|remove FILE   (PEM or DER)
// Exit code 0, 2 on bad arguments, 3 when the file is unreadable, 4 when the
// store refuses.
#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string.h>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3 || (strcmp(argv[1], "add") != 0 && strcmp(argv[1], "remove") != 0))
        return 2;
    std::ifstream file(argv[2], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string der = text;
    DWORD size = static_cast<DWORD>(der.size());
    // PEM is decoded; anything else is taken as DER already.
    if (text.empty()
        || (text.compare(0, 5, "-----") == 0
            && !CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER,
                reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr)))
        return 3;
    const HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (!store)
        return 4;
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    BOOL done = FALSE;
    if (strcmp(argv[1], "add") == 0) {
        done = CertAddEncodedCertificateToStore(
            store, X509_ASN_ENCODING, bytes, size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else if (PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, bytes, size)) {
        // Deleting frees the found context; the removal lasts only once committed.
        PCCERT_CONTEXT found
            = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
        done = found && CertDeleteCertificateFromStore(found)
            && CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertFreeCertificateContext(wanted);
    }
    CertCloseStore(store, 0);
    return done ? 0 : 4;
}
