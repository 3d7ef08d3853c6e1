// Who wrote: when the pointer rests on the popup, a panel beside it lists
// the newest senders and subjects the watcher handed over. The panel is a
// Unicode window, unlike the rest of the popup: a subject may hold any script.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "preview/recent_section.h"
#include "win32/handles.h"

class CPreviewPanel {
public:
    CPreviewPanel() = default;
    CPreviewPanel(const CPreviewPanel&) = delete;
    CPreviewPanel& operator=(const CPreviewPanel&) = delete;
    ~CPreviewPanel();

    // Holds the list's section while the popup lives, so the list outlives a
    // restarting watcher.
    void Open();
    // Beside `popup`, up to `lines` messages; nothing when the list is empty.
    void Show(HWND popup, int lines, int32_t count);
    void Hide();
    // The count went back to 0: the panel goes and the list is emptied.
    void Dismiss();

private:
    struct Row {
        std::wstring text;
        bool indented = false; // a subject, under its sender
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool BuildRows(int lines, int32_t count);
    bool MakeWindow(HWND popup);
    void Place(HWND popup);
    void Paint();

    std::optional<preview::RecentSection> m_section; // made by Open
    std::vector<Row> m_rows;
    HWND m_hwnd = nullptr; // owned: destroyed with the panel or on dismissal
    win32::UniqueFont m_font;
    int m_rowHeight = 0;
    int m_width = 0;
};
