#include "watch/app/watched_accounts.h"

#include <stdio.h>

#include "watch/shell/account_config.h"
#include "watch/shell/code_pages.h"
#include "win32/module_path.h"

namespace mail {

namespace {

    const char kSelf[] = "larkbellwatch";
    // Every connection has logged out by then, or the process ends without it.
    constexpr DWORD kJoinMs = 1800;

    std::string KeyList(const std::vector<const char*>& keys)
    {
        std::string list;
        for (const char* key : keys)
            list += (list.empty() ? "" : ", ") + std::string(key);
        return list;
    }

    // Names only: a value may be a secret.
    std::vector<const char*> ChangedKeys(const AccountEntry& was, const AccountEntry& is)
    {
        std::vector<const char*> keys;
        for (const AccountKey& key : kAccountKeys) {
            if (was.*key.value != is.*key.value)
                keys.push_back(key.name);
        }
        return keys;
    }

    std::vector<const char*> ChangedKeys(const WatchSettings& was, const WatchSettings& is)
    {
        std::vector<const char*> keys;
        if (was.notifier != is.notifier)
            keys.push_back(kNotifierKey);
        if (was.keepalive_s != is.keepalive_s)
            keys.push_back(kKeepaliveKey);
        if (was.timeout_s != is.timeout_s)
            keys.push_back(kTimeoutKey);
        if (was.preview != is.preview)
            keys.push_back(kPreviewShowKey);
        return keys;
    }

    // True when every thread ended by the deadline.
    bool JoinAll(const std::vector<std::unique_ptr<MailboxWatch>>& watches, ULONGLONG deadline)
    {
        for (const auto& watch : watches) {
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            if (::WaitForSingleObject(watch->thread(), left) != WAIT_OBJECT_0)
                return false;
        }
        return true;
    }

} // namespace

struct WatchedAccounts::Account {
    AccountEntry entry;
    AccountConfig config;
    win32::UniqueHandle stop; // manual-reset: this account's connections end
    std::unique_ptr<WatchContext> context;
    std::vector<std::unique_ptr<MailboxWatch>> watches; // none when the account was refused

    void Signal()
    {
        if (stop)
            ::SetEvent(stop.get());
        for (const auto& watch : watches)
            watch->Wake();
    }
};

WatchedAccounts::WatchedAccounts(
    WatchLog& log, StateStore& store, const preview::RecentSection* recent, StatusBoard* status)
    : m_log(log)
    , m_store(store)
    , m_recent(recent)
    , m_status(status)
    , m_pause(store, log, status)
{
}

WatchedAccounts::~WatchedAccounts() = default;

std::unique_ptr<WatchedAccounts::Account> WatchedAccounts::Start(const AccountEntry& entry)
{
    auto account = std::make_unique<Account>();
    account->entry = entry;
    std::string why;
    if (!MakeAccountConfig(entry, &account->config, &why)) {
        m_log.Write(account->config.display, why);
        return account;
    }
    account->stop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!account->stop) {
        m_log.Write(account->config.display, "cannot make a stop event: account not watched");
        return account;
    }
    const std::string notifier = win32::ModuleFolderPath(m_settings.notifier.c_str());
    MailTimings timings;
    timings.keepalive_ms = static_cast<int64_t>(m_settings.keepalive_s) * 1000;
    timings.response_timeout_ms = static_cast<int64_t>(m_settings.timeout_s) * 1000;
    account->context.reset(new WatchContext { m_log, m_store, notifier, timings, account->stop.get() });
    account->context->recent = m_settings.preview ? m_recent : nullptr;
    account->context->several_accounts = m_severalAccounts;
    account->context->pause = &m_pause;
    account->context->status = m_status;
    for (const WatchedFolder& folder : account->config.folders) {
        auto watch = std::make_unique<MailboxWatch>(account->config, folder, *account->context);
        if (watch->Start())
            account->watches.push_back(std::move(watch));
        else
            m_log.Write(watch->where(), "cannot start a thread for this folder");
    }
    return account;
}

void WatchedAccounts::End(std::unique_ptr<Account> account)
{
    account->Signal();
    if (m_status)
        m_status->Forget(account->entry.name);
    if (!JoinAll(account->watches, ::GetTickCount64() + kJoinMs)) {
        m_log.Write(account->config.display, "a connection did not log out in time; it ends on its own");
        m_lingering.push_back(std::move(account));
    }
}

void WatchedAccounts::EndAll()
{
    for (auto& account : m_accounts)
        account->Signal();
    for (auto& account : m_accounts)
        End(std::move(account));
    m_accounts.clear();
}

void WatchedAccounts::Apply(const WatchSettings& settings)
{
    const std::vector<const char*> global = ChangedKeys(m_settings, settings);
    if (m_applied && !global.empty()) {
        m_log.Write(kSelf, "[setting] changed (" + KeyList(global) + "): every account reconnects");
        EndAll();
    }
    m_settings = settings;
    m_settings.accounts.clear();
    m_pause.SetNotifier(win32::ModuleFolderPath(settings.notifier.c_str()));
    m_severalAccounts = settings.accounts.size() > 1;
    std::vector<std::unique_ptr<Account>> next;
    bool changed = false;
    for (const AccountEntry& entry : settings.accounts) {
        auto running = m_accounts.begin();
        while (running != m_accounts.end() && (*running)->entry.name != entry.name)
            ++running;
        const std::string display = Cp932ToUtf8Text(entry.name);
        if (running != m_accounts.end()) {
            const std::vector<const char*> keys = ChangedKeys((*running)->entry, entry);
            if (keys.empty()) {
                next.push_back(std::move(*running));
                m_accounts.erase(running);
                continue;
            }
            m_log.Write(display, KeyList(keys) + " changed: connecting again with the new settings");
            End(std::move(*running));
            m_accounts.erase(running);
        } else if (m_applied) {
            m_log.Write(display, "new account in the settings: connecting");
        }
        changed = true;
        next.push_back(Start(entry));
    }
    for (auto& gone : m_accounts) {
        m_log.Write(gone->config.display, "account no longer in the settings: its connections end");
        changed = true;
        End(std::move(gone));
    }
    m_accounts = std::move(next);
    size_t folders = 0;
    size_t watched = 0;
    for (const auto& account : m_accounts) {
        folders += account->watches.size();
        watched += account->watches.empty() ? 0 : 1;
    }
    char text[128];
    snprintf(text, sizeof text, "%s: %u account(s), %u folder(s) watched",
        !m_applied                       ? "started"
            : changed || !global.empty() ? "settings taken"
                                         : "settings read again, nothing changed",
        static_cast<unsigned>(watched), static_cast<unsigned>(folders));
    m_log.Write(kSelf, text);
    m_applied = true;
}

void WatchedAccounts::PauseUntil(int64_t unix_s) { m_pause.PauseUntil(unix_s); }

void WatchedAccounts::WakeAll()
{
    for (const auto& account : m_accounts) {
        for (const auto& watch : account->watches)
            watch->Wake();
    }
}

bool WatchedAccounts::StopAll()
{
    for (const auto& account : m_accounts)
        account->Signal();
    for (const auto& account : m_lingering)
        account->Signal();
    const ULONGLONG deadline = ::GetTickCount64() + kJoinMs;
    bool ended = true;
    for (const auto& account : m_accounts)
        ended = JoinAll(account->watches, deadline) && ended;
    for (const auto& account : m_lingering)
        ended = JoinAll(account->watches, deadline) && ended;
    return ended;
}

} // namespace mail
