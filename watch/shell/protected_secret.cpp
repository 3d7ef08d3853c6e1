#include "protected_secret.h"

#include <windows.h>

#include <dpapi.h>
#include <stdio.h>

#include "base64.h"
#include "unique_any.h"

namespace mail {

namespace {

    std::string ErrorText(const char* call)
    {
        char text[96];
        snprintf(text, sizeof text, "%s failed (error %lu)", call, ::GetLastError());
        return text;
    }

    DATA_BLOB BlobOf(std::string_view bytes)
    {
        DATA_BLOB blob;
        blob.cbData = static_cast<DWORD>(bytes.size());
        blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
        return blob;
    }

} // namespace

bool ProtectSecret(std::string_view secret, std::string* base64, std::string* why)
{
    DATA_BLOB in = BlobOf(secret);
    DATA_BLOB out = {};
    if (!::CryptProtectData(&in, L"larkbellwatch", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        *why = ErrorText("CryptProtectData");
        return false;
    }
    const fw::UniqueLocal owner(out.pbData);
    *base64 = Base64Encode(std::string_view(reinterpret_cast<const char*>(out.pbData), out.cbData));
    return true;
}

bool UnprotectSecret(std::string_view base64, std::string* secret, std::string* why)
{
    std::string blob;
    if (!Base64Decode(base64, &blob)) {
        *why = "the protected password is not base64";
        return false;
    }
    DATA_BLOB in = BlobOf(blob);
    DATA_BLOB out = {};
    if (!::CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        *why = ErrorText("CryptUnprotectData") + ": store the password again with larkbellctl password";
        return false;
    }
    const fw::UniqueLocal owner(out.pbData);
    secret->assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::SecureZeroMemory(out.pbData, out.cbData);
    return true;
}

void WipeString(std::string* text)
{
    if (!text->empty())
        ::SecureZeroMemory(&(*text)[0], text->size());
    text->clear();
}

} // namespace mail
