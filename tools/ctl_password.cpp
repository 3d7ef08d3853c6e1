// larkbellctl password NAME: the password never appears on the screen, in a
// file or in memory longer than needed, only as a DPAPI blob in the settings.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tools/ctl_watch.h"
#include "watch/shell/code_pages.h"
#include "watch/shell/protected_secret.h"
#include "watch/shell/watch_settings.h"
#include "win32/module_path.h"

namespace {

constexpr size_t kMaxPassword = 1024;

// A console line, typed without echo; converted to UTF-8 from what the
// console delivers as UTF-16, so the stored bytes do not depend on the code page.
bool ReadConsoleSecret(HANDLE input, DWORD mode, std::string* line)
{
    fputs("password: ", stderr);
    ::SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t buffer[kMaxPassword + 2];
    DWORD read = 0;
    const BOOL ok = ::ReadConsoleW(input, buffer, kMaxPassword + 2, &read, nullptr);
    ::SetConsoleMode(input, mode);
    fputs("\n", stderr);
    std::wstring_view typed(buffer, ok ? read : 0);
    const size_t end = typed.find_first_of(L"\r\n");
    const bool complete = end != std::wstring_view::npos;
    typed = typed.substr(0, complete ? end : typed.size());
    const bool converted = complete && mail::WideToUtf8(typed, line);
    ::SecureZeroMemory(buffer, sizeof buffer);
    return converted;
}

// A line from a pipe or file, taken as the bytes it holds.
bool ReadStreamSecret(HANDLE input, std::string* line)
{
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!::ReadFile(input, &c, 1, &read, nullptr) || read == 0 || c == '\n')
            break;
        if (line->size() > kMaxPassword)
            return false;
        line->push_back(c);
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return line->size() <= kMaxPassword;
}

bool ReadSecretLine(std::string* line)
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool ok
        = ::GetConsoleMode(input, &mode) ? ReadConsoleSecret(input, mode, line) : ReadStreamSecret(input, line);
    if (!ok)
        mail::WipeString(line);
    return ok && !line->empty();
}

} // namespace

std::string WatchSettingsPath() { return win32::ModuleFolderPath("larkbellwatch.ini"); }

bool ReadCommandAccount(const char* name, mail::AccountConfig* account)
{
    const std::string path = WatchSettingsPath();
    mail::AccountEntry entry;
    if (!mail::ReadAccountEntry(path, name, &entry)) {
        fprintf(stderr, "larkbellctl: no [account:%s] in %s\n", name, path.c_str());
        return false;
    }
    std::string why;
    if (!mail::MakeAccountConfig(entry, account, &why)) {
        fprintf(stderr, "larkbellctl: %s: %s\n", name, mail::Utf8ToCp932(why).c_str());
        return false;
    }
    return true;
}

bool IsValidAccountName(const char* account)
{
    const size_t length = strlen(account);
    if (length == 0 || length > 200)
        return false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(account[i]);
        if (c < 0x20 || c == '[' || c == ']')
            return false;
    }
    return true;
}

int RunPasswordCommand(const char* account, const char* key)
{
    std::string password;
    if (!ReadSecretLine(&password)) {
        fprintf(stderr, "larkbellctl: no password read (one line of at most %u bytes)\n",
            static_cast<unsigned>(kMaxPassword));
        return 1;
    }
    std::string blob;
    std::string why;
    const bool protectedOk = mail::ProtectSecret(password, &blob, &why);
    mail::WipeString(&password);
    if (!protectedOk) {
        fprintf(stderr, "larkbellctl: the password could not be protected: %s\n", why.c_str());
        return 1;
    }
    const std::string path = WatchSettingsPath();
    const std::string section = std::string(mail::kAccountPrefix) + account;
    if (!::WritePrivateProfileStringA(section.c_str(), key, blob.c_str(), path.c_str())) {
        fprintf(stderr, "larkbellctl: cannot write %s (error %lu)\n", path.c_str(), ::GetLastError());
        return 1;
    }
    printf("%s stored for account %s in %s\n", key, account, path.c_str());
    return 0;
}
