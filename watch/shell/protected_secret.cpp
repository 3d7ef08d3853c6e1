#include "watch/shell/protected_secret.h"

#include <windows.h>

#include <dpapi.h>

#include "watch/core/base64.h"
#include "win32/error_text.h"
#include "win32/handles.h"

namespace mail {

namespace {

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
        *why = win32::ErrorText("CryptProtectData failed");
        return false;
    }
    const win32::UniqueLocal owner(out.pbData);
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
        *why = win32::ErrorText("CryptUnprotectData failed") + ": store the password again with larkbellctl password";
        return false;
    }
    const win32::UniqueLocal owner(out.pbData);
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
