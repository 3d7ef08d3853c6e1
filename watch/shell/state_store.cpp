#include "watch/shell/state_store.h"

#include <utility>

#include "watch/shell/code_pages.h"
#include "watch/shell/whole_file.h"

namespace mail {

namespace {

    const char kWhere[] = "larkbellwatch";

    // The path is in the ANSI code page.
    void LogAnsi(WatchLog& log, const std::string& text) { log.Write(kWhere, Cp932ToUtf8Text(text)); }

} // namespace

StateStore::StateStore(std::string path, WatchLog& log)
    : m_path(std::move(path))
    , m_log(log)
{
}

void StateStore::Load()
{
    const win32::SectionHold hold(m_lock);
    m_state.clear();
    m_pop3.clear();
    m_held = 0;
    std::string text;
    switch (ReadWholeFile(m_path, kMaxFileBytes, &text)) {
    case ReadOutcome::Missing:
        return;
    case ReadOutcome::TooLarge:
        LogAnsi(m_log, "state file " + m_path + " is over 8 MB; every folder starts from a baseline");
        return;
    case ReadOutcome::Failed:
        LogAnsi(m_log, "cannot read state file " + m_path + "; every folder starts from a baseline");
        return;
    case ReadOutcome::Read:
        break;
    }
    if (!ParseWatchState(text, &m_state, &m_pop3, &m_held))
        LogAnsi(m_log, "state file " + m_path + " is damaged; every folder starts from a baseline");
}

FolderState StateStore::Get(const WatchKey& key)
{
    const win32::SectionHold hold(m_lock);
    const auto found = m_state.find(key);
    return found == m_state.end() ? FolderState() : found->second;
}

bool StateStore::Put(const WatchKey& key, const FolderState& state)
{
    const win32::SectionHold hold(m_lock);
    m_state[key] = state;
    return Save();
}

Pop3Seen StateStore::GetPop3(const std::string& account)
{
    const win32::SectionHold hold(m_lock);
    const auto found = m_pop3.find(account);
    return found == m_pop3.end() ? Pop3Seen() : found->second;
}

bool StateStore::PutPop3(const std::string& account, const Pop3Seen& seen)
{
    const win32::SectionHold hold(m_lock);
    m_pop3[account] = seen;
    return Save();
}

namespace {

    uint32_t AddHeld(uint32_t held, uint32_t count) { return count > UINT32_MAX - held ? UINT32_MAX : held + count; }

} // namespace

bool StateStore::PutHeld(const WatchKey& key, const FolderState& state, uint32_t count)
{
    const win32::SectionHold hold(m_lock);
    m_state[key] = state;
    m_held = AddHeld(m_held, count);
    return Save();
}

bool StateStore::PutPop3Held(const std::string& account, const Pop3Seen& seen, uint32_t count)
{
    const win32::SectionHold hold(m_lock);
    m_pop3[account] = seen;
    m_held = AddHeld(m_held, count);
    return Save();
}

uint32_t StateStore::held()
{
    const win32::SectionHold hold(m_lock);
    return m_held;
}

bool StateStore::Unhold(uint32_t handed)
{
    const win32::SectionHold hold(m_lock);
    m_held -= handed < m_held ? handed : m_held;
    return Save();
}

bool StateStore::Save()
{
    std::string why;
    if (ReplaceWholeFile(m_path, SerializeWatchState(m_state, m_pop3, m_held), &why))
        return true;
    LogAnsi(m_log, "cannot save the state: " + why);
    return false;
}

} // namespace mail
