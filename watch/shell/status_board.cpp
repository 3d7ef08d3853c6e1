#include "watch/shell/status_board.h"

#include <algorithm>
#include <utility>

#include "watch/shell/whole_file.h"

namespace mail {

namespace {

    int64_t Seconds(const FILETIME& time)
    {
        const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        return static_cast<int64_t>(ticks / 10000000ull);
    }

} // namespace

int64_t UnixNow()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return Seconds(now) - 11644473600ll;
}

StatusView LocalStatusView()
{
    StatusView view;
    view.language
        = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? UiLanguage::Japanese : UiLanguage::English;
    FILETIME utc, local;
    ::GetSystemTimeAsFileTime(&utc);
    if (::FileTimeToLocalFileTime(&utc, &local))
        view.utc_offset_s = static_cast<int>(Seconds(local) - Seconds(utc));
    view.now = Seconds(utc) - 11644473600ll;
    return view;
}

StatusBoard::StatusBoard(std::string file_path)
    : m_path(std::move(file_path))
{
    // A file left by the watcher before goes at once, even with no account.
    const win32::SectionHold hold(m_lock);
    Publish();
}

void StatusBoard::Report(const FolderStatus& folder)
{
    const win32::SectionHold hold(m_lock);
    auto known = std::find_if(m_status.folders.begin(), m_status.folders.end(),
        [&](const FolderStatus& kept) { return kept.account == folder.account && kept.folder == folder.folder; });
    if (known == m_status.folders.end()) {
        m_status.folders.emplace_back();
        known = m_status.folders.end() - 1;
    }
    MergeReport(&*known, folder, UnixNow());
    Publish();
}

void StatusBoard::Forget(const std::string& account)
{
    const win32::SectionHold hold(m_lock);
    auto& folders = m_status.folders;
    folders.erase(std::remove_if(folders.begin(), folders.end(),
                      [&](const FolderStatus& folder) { return folder.account == account; }),
        folders.end());
    Publish();
}

void StatusBoard::SetPausedUntil(int64_t unix_s)
{
    const win32::SectionHold hold(m_lock);
    m_status.paused_until = unix_s;
    Publish();
}

WatchStatus StatusBoard::Snapshot() const
{
    const win32::SectionHold hold(m_lock);
    return m_status;
}

void StatusBoard::SetListener(HWND window, UINT message)
{
    const win32::SectionHold hold(m_lock);
    m_window = window;
    m_message = message;
}

void StatusBoard::Publish()
{
    std::string text = StatusFileText(m_status);
    if (text == m_written)
        return;
    std::string why;
    // A failed write is tried again at the next change; the icon is told all the same.
    if (ReplaceWholeFile(m_path, text, &why, FileReaders::CurrentUserOnly))
        m_written = std::move(text);
    if (m_window)
        ::PostMessageA(m_window, m_message, 0, 0);
}

} // namespace mail
